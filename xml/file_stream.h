#pragma once

#include <stdint.h>

#include "common/scoped.h"
#include "common/str.h"
#include "xml/name_stack.h"

// A file read or written in chunks of text, for the stream modes of XmlDoc.
// Every operation leaves what happened in log (a result log), emptied at the
// start of each chunk read or written.
struct FileStream {
  // Encoding flags.
  static constexpr uint32_t Utf16Le = 0x01;
  static constexpr uint32_t Utf8Bom = 0x04;
  static constexpr uint32_t Utf16Be = 0x80;
  static constexpr uint32_t Utf32Be = 0x100;  // the subsystem's UTF-32, big-endian
  static constexpr int32_t kDefaultChunkSize = 64 * 1024;

  FileStream() = default;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  ~FileStream() { Close(); }

  // Opens a file for reading. A byte-order mark decides the encoding; without
  // one, the given encoding applies, else the one the start of the file
  // declares, else UTF-8 detection on the first chunk (or ANSI).
  bool OpenRead(const wchar_t* path, const wchar_t* encodingName = nullptr,
                int32_t chunk = kDefaultChunkSize);
  // Creates a file for writing. Without an encoding, the first text written
  // decides it (its declaration, else UTF-8). UTF-16 files get their mark.
  bool OpenWrite(const wchar_t* path, const wchar_t* encodingName = nullptr,
                 int32_t chunk = kDefaultChunkSize);
  bool Close();
  bool IsOpen() const { return file.valid(); }

  // Reads the next chunk (bytesToRead bytes, fewer at the end of the file)
  // and appends it to out as UTF-16, ending on a character boundary.
  bool ReadChunk(WStr& out);
  // Read-stream refill of *text: drops the text before keepMark, reports
  // that count in dropped and appends the next chunk. False when nothing is
  // left to read or the read failed.
  bool Refill(int32_t* dropped);
  // Writes the first n characters of *text in the file's encoding and
  // removes them from it.
  bool Write(size_t n);
  // The same for a text of the caller's, which is left as it is.
  bool WriteText(const wchar_t* chars, size_t n);

  ScopedFile file;
  uint32_t encodingFlags = 0;
  int32_t bytesToRead = kDefaultChunkSize;
  int32_t chunkSize = kDefaultChunkSize;
  int64_t fileSize = 0;
  int64_t filePosition = 0;
  int unitSize = 1;  // bytes a unit: 2 for UTF-16, 4 for UTF-32
  int32_t unitsRead = 0;
  WStr log;
  WStr encoding;
  WStr* text = nullptr;  // the document text being filled or written
  int32_t keepMark = 0;  // read-stream: text before it is no longer needed
  // Write-stream: names of elements left open, for their end tags.
  NameStack names{23};

 private:
  bool Open(const wchar_t* path, bool write, int32_t chunk);
  bool IsBigEndian() const {
    return (unitSize == 2 && (encodingFlags & Utf16Be)) ||
           (unitSize == 4 && (encodingFlags & Utf32Be));
  }
  bool Fail();
  bool SetEncoding(const wchar_t* name);
  bool ChooseWriteEncoding(const wchar_t* chars, size_t n);

  ByteStr buffer_;  // the chunk as read
  ByteStr clean_;   // and without its zero units
  bool writing_ = false;
  bool encodingSettled_ = false;  // UTF-8 detection decided once
};

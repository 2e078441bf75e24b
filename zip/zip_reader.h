#pragma once

#include <windows.h>
#include <stdint.h>
#include <zlib.h>

#include "common/owned.h"
#include "common/scoped.h"

// Reads a single-disk ZIP archive (PKWARE APPNOTE: local headers, central
// directory, end record; no ZIP64) from a Win32 file handle: stored and
// deflated entries, traditional PKWARE decryption, CRC-32 check.

enum class ZipReadStatus : int32_t {
  Ok = 0,
  IoError = -1,
  BadArgument = -102,
  BadArchive = -103,
  NoMemory = -104,
  CrcMismatch = -105,
  BadPassword = -106,
};

constexpr uint32_t kZipNoPosition = 0xFFFFFFFFu;
constexpr uint32_t kZipBlockSize = 16384;

// Header fields are read a few bytes at a time; each read call would be a
// system call (under Wine also a trip to its server), so small reads are
// served from a window of the file held in memory.
constexpr uint32_t kZipWindowSize = 4096;

struct ZipSource {
  bool canSeek;
  ScopedHandle handle;
  // A source over the end of an archive held in memory (CreateTailSource)
  // instead of a file: tailSize bytes ending at archiveSize. Reads
  // elsewhere fail.
  const unsigned char* tail;
  uint32_t tailSize;
  uint32_t archiveSize;
  bool readError;
  uint32_t initialOffset;
  uint64_t position;  // of the next read, in the file
  uint64_t windowStart;
  uint32_t windowLength;
  unsigned char window[kZipWindowSize];
};

struct ZipEntryInfo {
  uint32_t versionMadeBy;
  uint32_t versionNeeded;
  uint32_t flags;
  uint32_t method;
  uint32_t dosDateTime;  // time in the low word, date in the high word
  uint32_t crc32;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  uint32_t nameLength;
  uint32_t extraLength;
  uint32_t commentLength;
  uint32_t diskNumberStart;
  uint32_t internalAttributes;
  uint32_t externalAttributes;
};

struct ZipEntryStream {
  ~ZipEntryStream() {
    if (inflateReady) inflateEnd(&inflater);
  }

  OwnedArray<unsigned char> readBuffer;  // kZipBlockSize bytes
  z_stream inflater;
  uint32_t position;
  bool inflateReady;
  uint32_t crc;
  uint32_t expectedCrc;
  uint32_t compressedLeft;
  uint32_t uncompressedLeft;
  ZipSource* source;
  uint32_t method;
  uint32_t leadingBytes;
  bool encrypted;
  uint32_t keys[3];
  uint32_t headerLeft;
  unsigned char checkByte;
};

struct ZipReader {
  Owned<ZipSource> source;
  uint32_t entryCount;
  uint32_t leadingBytes;
  uint32_t entryIndex;
  uint32_t entryPos;
  uint32_t entryOk;
  uint32_t endRecordPos;
  uint32_t dirSize;
  uint32_t dirOffset;
  ZipEntryInfo info;
  uint32_t localHeaderOffset;
  Owned<ZipEntryStream> stream;  // the open entry, or none
};

// A source over an open handle, positioned where the archive starts. None when
// memory runs out (the handle is then closed).
Owned<ZipSource> CreateZipSource(ScopedHandle handle);

// A source over the last size bytes of an archive of archiveSize bytes,
// held at tail by the caller for the source's life: its central directory
// and end record read as a whole archive's would, before the rest exists.
Owned<ZipSource> CreateTailSource(const unsigned char* tail, uint32_t size, uint32_t archiveSize);

// Seeks to initialOffset + position (64-bit, so no sum wraps around).
bool SeekSource(ZipSource* source, uint64_t position);
// Reads exactly size bytes or fails. Reads that the window holds, or that
// are small, come from the window; others go to the file directly.
bool ReadSource(ZipSource* source, void* buffer, uint32_t size);

// Position of the end record relative to initialOffset, or kZipNoPosition.
uint32_t LocateEndRecord(ZipSource* source);

// None when the source holds no archive the reader takes; the source is
// released then.
Owned<ZipReader> OpenReader(Owned<ZipSource> source);
ZipReadStatus GoToFirstEntry(ZipReader* reader);
ZipReadStatus GoToNextEntry(ZipReader* reader);
ZipReadStatus ReadEntryInfo(ZipReader* reader, ZipEntryInfo* info, uint32_t* localHeaderOffset,
                            char* name, uint32_t nameSize);
ZipReadStatus CheckLocalHeader(ZipReader* reader, uint32_t* variableSize,
                               uint32_t* localExtraOffset, uint32_t* localExtraSize);
ZipReadStatus OpenEntry(ZipReader* reader, const char* password);
// Bytes delivered (0 or more), or a negative ZipReadStatus or zlib code.
int32_t ReadEntry(ZipReader* reader, void* buffer, uint32_t length, bool* atEnd);
ZipReadStatus CloseEntry(ZipReader* reader);
// Releases a reader given up by its owner: its open entry, its source and
// the file handle.
void CloseReader(ZipReader* reader);

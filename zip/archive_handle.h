#pragma once

#include <windows.h>
#include <stdint.h>

#include "common/owned.h"
#include "common/scoped.h"
#include "zip/zip_reader.h"

// An open archive as the install worker sees it: an opaque handle, the
// description of its items, and the owner that closes it.

constexpr int kZipPathChars = 260;  // 259 characters and the terminator
constexpr int32_t kZipReadingHandle = 1;

// Integer codes (0 success) that callers may compare with 0; the names stay
// inside ZipResult:: so that they do not collide with other code's.
struct ZipResultCodes {
  enum Value : int32_t {
    Ok = 0,
    CannotOpen = 0x200,
    WriteFailed = 0x400,
    Corrupt = 0x700,
    ReadFailed = 0x800,
    BadPassword = 0x1000,
    BadArgument = 0x10000,
    WrongHandleKind = 0x80000,
    DecompressFailed = 0x5000000,
  };
};
using ZipResult = ZipResultCodes::Value;

struct ZipItem {
  int32_t index;
  wchar_t name[kZipPathChars];
  uint32_t attributes;
  FILETIME accessTime;
  FILETIME creationTime;
  FILETIME writeTime;
  int32_t compressedSize;
  int32_t uncompressedSize;
};

struct Unzipper {
  Owned<ZipReader> reader;
  ZipItem cachedItem;
  int32_t cachedIndex;
  OwnedArray<char> password;              // none: the setup opens no encrypted package
  OwnedArray<unsigned char> writeBuffer;  // kZipBlockSize bytes once allocated
  wchar_t rootFolder[kZipPathChars];
  // Where the described item lies in the archive: its local header and
  // data, from the header's start to the data's end.
  uint64_t spanStart;
  uint64_t spanEnd;
  // The described item is named "./" or ".": the folder it is extracted
  // into, which it asks nothing of.
  bool namesTargetFolder;
  // The folder the last file went into, made then: the files of a folder
  // come one after another, and each folder is made once.
  wchar_t madeFolder[kZipPathChars];
};

struct ZipHandle {
  int32_t kind;
  Owned<Unzipper> unzipper;
};

// None when the file cannot be opened or is not an archive the reader takes.
ZipHandle* OpenArchiveFile(const wchar_t* path);
// Index -1 gives the item count in item->index.
ZipResult GetArchiveItem(ZipHandle* handle, int32_t index, ZipItem* item);
ZipResult CloseArchive(ZipHandle* handle);

struct ArchiveTraits : NullIsNone<ZipHandle*> {
  static void Close(ZipHandle* h) { CloseArchive(h); }
};
using ScopedArchive = Scoped<ArchiveTraits>;

// Inside the zip layer: Ok for an open reading handle.
ZipResult CheckHandle(ZipHandle* handle);

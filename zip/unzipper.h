#pragma once

#include <windows.h>
#include <stdint.h>

#include "zip/zip_reader.h"

// What the install worker sees of zip archives: an opaque handle, item
// descriptions with names made safe for use as relative paths, and extraction
// of one item to disk with its attributes and times.

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
  ZipReader* reader;
  ZipItem cachedItem;
  int32_t cachedIndex;
  char* password;
  unsigned char* writeBuffer;  // kZipBlockSize bytes once allocated
  wchar_t rootFolder[kZipPathChars];
  // Where the described item lies in the archive: its local header and
  // data, from the header's start to the data's end.
  uint64_t spanStart;
  uint64_t spanEnd;
  // The folder the last file went into, made then: the files of a folder
  // come one after another, and each folder is made once.
  wchar_t madeFolder[kZipPathChars];
};

struct ZipHandle {
  int32_t kind;
  Unzipper* unzipper;
};

// None when the file cannot be opened or is not an archive the reader takes.
ZipHandle* OpenArchiveFile(const wchar_t* path);
// Index -1 gives the item count in item->index.
ZipResult GetArchiveItem(ZipHandle* handle, int32_t index, ZipItem* item);
ZipResult ExtractArchiveItem(ZipHandle* handle, int32_t index, const wchar_t* targetPath);
// Reads every item as extraction would, writing nothing: each name made
// safe and not empty, each header consistent, the data of each file to its
// end with its length and CRC. Before any data is read, the archive's
// structure is checked: every item's header and data lie wholly before the
// central directory, no two overlap (a few bytes that many central headers
// point at would otherwise be extracted again and again), and no deflated
// item declares more than deflate can make of its data (1,032 to 1). Ok
// only when every item would extract, so that an installation can refuse a
// damaged or hostile package before it changes anything; facts, when given,
// receives what the check learnt on its way.
struct ArchiveFacts {
  uint64_t totalSize;  // the sum of the declared sizes
  // The longest of the items' names, of the folders they lie in (the name
  // up to its last separator, with it) and of their last components, each
  // with the index of an item that has it: how long a target folder may be.
  struct Longest {
    size_t length;
    int32_t index;
  } name, folder, lastName;
};
ZipResult VerifyArchive(ZipHandle* handle, ArchiveFacts* facts = nullptr);
ZipResult CloseArchive(ZipHandle* handle);
// Creates every missing folder of base followed by path, top down.
void EnsureFolderPath(const wchar_t* base, const wchar_t* path);

// The name rules applied to an item's converted name: drive prefixes, leading
// separators and everything up to a "..\" segment are dropped. False when what
// remains could still lead outside the target folder or name a device.
bool MakeSafeName(const wchar_t* name, wchar_t* safe, size_t safeSize);

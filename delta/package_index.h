#pragma once

#include <stdint.h>

#include "common/str.h"
#include "common/vec.h"

// What an update fetched by difference needs of a package's entries, read
// from its central directory by the zip reader.
struct IndexedEntry {
  // Where its local header starts, and where the next entry's (or the
  // central directory) does: its span in the package.
  uint32_t offset = 0;
  uint32_t end = 0;
  // What its data is: the same data has the same of all four.
  uint32_t crc = 0;
  uint32_t method = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  // General purpose flags; bit 3: a data descriptor follows the data.
  uint32_t flags = 0;
  // Its central directory record, the offset field zeroed: an entry whose
  // record agrees came from the same writer with the same header.
  ByteStr record;
  // Its local header holds what the next build changes without the record
  // showing it: the time of last access that Info-ZIP keeps there (zip
  // without -X). Known of a package on disk alone.
  bool headerVaries = false;
  // Its local header keeps the file's time nowhere but in its DOS fields
  // (no extended timestamp): a build of the same file at another time has
  // the same header with those four bytes changed. Known of a package on
  // disk alone.
  bool timeInDosFields = false;
};

struct PackageIndex {
  // In the order of their offsets; spans end to end from the first entry
  // to the central directory.
  Vec<IndexedEntry> entries;
  uint32_t directoryOffset = 0;
  uint32_t size = 0;
};

// The central directory must hold no more than this: a package's of 1,500
// entries is some 130 KB.
constexpr uint32_t kMaxDirectoryBytes = 8u << 20;

// The index of the package file at path; false when it is no archive the
// reader takes, starts with other bytes, or its entries overlap.
bool IndexPackageFile(const wchar_t* path, PackageIndex* index);

// The same from the last tailSize bytes of a package of size bytes, held at
// tail: they must hold the whole central directory and end record.
bool IndexPackageTail(const unsigned char* tail, uint32_t tailSize, uint32_t size,
                      PackageIndex* index);

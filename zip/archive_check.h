#pragma once

#include <stddef.h>
#include <stdint.h>

#include "zip/archive_handle.h"

// Reads every item as extraction would, writing nothing: each name made
// safe and not empty, each header consistent, the data of each file to its
// end with its length and CRC. Before any data is read, the archive's
// structure is checked: every item's header and data lie wholly before the
// central directory, no two overlap (a few bytes that many central headers
// point at would otherwise be extracted again and again), no deflated item
// declares more than deflate can make of its data (1,032 to 1), and no two
// items name the same file. Ok only when every item would extract, so that
// an installation can refuse a damaged or hostile package before it changes
// anything; facts, when given, receives what the check learnt on its way.
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
// The same without reading the data: for a caller whose extraction of
// every item, which checks each length and CRC as it goes, is the rest of
// the check.
ZipResult VerifyArchiveStructure(ZipHandle* handle, ArchiveFacts* facts);

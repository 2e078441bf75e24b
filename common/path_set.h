#pragma once

#include <stdint.h>

#include "common/owned.h"
#include "common/str.h"
#include "common/vec.h"

// A set of paths that tells them apart as Windows tells file names apart:
// ignoring case with the system's own table.
class PathSet {
 public:
  bool Contains(const wchar_t* path) const;
  // False when memory runs out.
  bool Add(const wchar_t* path);

 private:
  static WStr Key(const wchar_t* path);
  static uint32_t Hash(const WStr& key);
  bool Grow();

  struct Entry {
    WStr key;
    int32_t next;
  };
  Vec<Entry> entries_;
  OwnedArray<int32_t> heads_;  // index + 1 of each bucket's first entry
};

#pragma once

#include <stdint.h>

#include "common/str.h"

// Names of the open elements, innermost on top; entry 0 is unused and the
// top index is the nesting depth. The names share one buffer, so pushing an
// element costs no allocation of its own. Equal names are chained by a hash
// so that an end tag finds its start tag without walking the whole stack.
class NameStack {
 public:
  explicit NameStack(int buckets = 256) : bucketCount_(buckets > 0 ? buckets : 1) {}
  NameStack(const NameStack&) = delete;
  NameStack& operator=(const NameStack&) = delete;
  ~NameStack() {
    free(entries_);
    free(heads_);
  }

  bool Push(const wchar_t* name, size_t length, int32_t pos);
  void Pop();
  int32_t Top() const { return top_; }
  // Zero-terminated name at a level 1..Top().
  const wchar_t* Name(int32_t level) const { return names_.c_str() + entries_[level].offset; }
  uint32_t NameLength(int32_t level) const { return entries_[level].length; }
  int32_t Pos(int32_t level) const { return entries_[level].pos; }
  // The innermost level whose name matches the given one (CompareNames with
  // the given name first), or 0.
  int32_t FindFromTop(const wchar_t* name, size_t length, bool ignoreCase) const;

 private:
  struct Entry {
    uint32_t offset;
    uint32_t length;
    int32_t pos;
    int32_t prevSame;  // next lower level in the same hash bucket
    uint32_t bucket;
  };
  uint32_t Bucket(const wchar_t* name, size_t length) const;

  WStr names_;
  Entry* entries_ = nullptr;
  int32_t top_ = 0;
  int32_t capacity_ = 0;
  int32_t bucketCount_;
  int32_t* heads_ = nullptr;  // innermost level of each bucket
};

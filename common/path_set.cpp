#include "common/path_set.h"

#include <windows.h>

WStr PathSet::Key(const wchar_t* path) {
  WStr key(path);
  // The same upper-case table that ordinal comparisons ignoring case use.
  if (!key.empty()) CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
  return key;
}

uint32_t PathSet::Hash(const WStr& key) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < key.size(); ++i) hash = (hash ^ key[i]) * 16777619u;
  return hash;
}

bool PathSet::Contains(const wchar_t* path) const {
  if (heads_.empty()) return false;
  WStr key = Key(path);
  for (int32_t i = heads_[Hash(key) & (heads_.size() - 1)]; i > 0; i = entries_[i - 1].next) {
    if (entries_[i - 1].key == key) return true;
  }
  return false;
}

bool PathSet::Grow() {
  size_t buckets = heads_.empty() ? 256 : heads_.size() * 2;
  OwnedArray<int32_t> heads;
  if (!heads.Allocate(buckets)) return false;
  for (size_t i = 0; i < entries_.size(); ++i) {
    int32_t& head = heads[Hash(entries_[i].key) & (buckets - 1)];
    entries_[i].next = head;
    head = static_cast<int32_t>(i + 1);
  }
  heads_ = static_cast<OwnedArray<int32_t>&&>(heads);
  return true;
}

bool PathSet::Add(const wchar_t* path) {
  if (Contains(path)) return true;
  if (entries_.size() >= heads_.size() && !Grow()) return false;
  WStr key = Key(path);
  int32_t& head = heads_[Hash(key) & (heads_.size() - 1)];
  if (!entries_.Push({static_cast<WStr&&>(key), head})) return false;
  head = static_cast<int32_t>(entries_.size());
  return true;
}

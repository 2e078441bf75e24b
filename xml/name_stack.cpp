#include "xml/name_stack.h"

#include "xml/xml_names.h"

// Hashes the part that CompareNames must see equal in both names: up to the
// first unit at which a stored name may end, with ASCII letters folded.
uint32_t NameStack::Bucket(const wchar_t* name, size_t length) const {
  uint32_t h = 2166136261u;
  for (size_t i = 0; i < length && !IsPathNameEnd(name[i]); ++i) {
    wchar_t c = name[i];
    if (c >= L'A' && c <= L'Z') c += 32;
    h = (h ^ c) * 16777619u;
  }
  return (h ^ (h >> 16)) % static_cast<uint32_t>(bucketCount_);
}

bool NameStack::Push(const wchar_t* name, size_t length, int32_t pos) {
  if (!heads_) {
    heads_ = static_cast<int32_t*>(calloc(bucketCount_, sizeof(int32_t)));
    if (!heads_) return false;
  }
  if (top_ + 1 >= capacity_) {
    int32_t capacity = capacity_ ? capacity_ * 2 : 7;
    void* grown = realloc(entries_, sizeof(Entry) * capacity);
    if (!grown) return false;
    entries_ = static_cast<Entry*>(grown);
    capacity_ = capacity;
  }
  size_t offset = names_.size();
  if (!names_.Append(name, length) || !names_.Append(L'\0')) {
    names_.Resize(offset);
    return false;
  }
  Entry& e = entries_[++top_];
  e.offset = static_cast<uint32_t>(offset);
  e.length = static_cast<uint32_t>(length);
  e.pos = pos;
  e.bucket = Bucket(name, length);
  e.prevSame = heads_[e.bucket];
  heads_[e.bucket] = top_;
  return true;
}

void NameStack::Pop() {
  if (top_ == 0) return;
  const Entry& e = entries_[top_];
  heads_[e.bucket] = e.prevSame;
  names_.Resize(e.offset);
  --top_;
}

int32_t NameStack::FindFromTop(const wchar_t* name, size_t length, bool ignoreCase) const {
  if (!heads_) return 0;
  for (int32_t level = heads_[Bucket(name, length)]; level; level = entries_[level].prevSame) {
    if (CompareNames(name, Name(level), length, ignoreCase)) return level;
  }
  return 0;
}

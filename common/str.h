#pragma once

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

// A growable, always zero-terminated string of char or wchar_t on malloc.
// The product does not use std::basic_string: its first use links about
// 180 KB of libstdc++ into a download whose budget is 200 KB. Byte strings may
// hold zero bytes (their size is kept); c_str() is always terminated.
// Allocation failures leave the string as it was and are reported by the
// returned bool.
template <typename C>
class BasicStr {
 public:
  static constexpr size_t npos = static_cast<size_t>(-1);

  BasicStr() = default;
  BasicStr(const C* text) { Append(text); }
  BasicStr(const C* text, size_t count) { Append(text, count); }
  BasicStr(const BasicStr& other) { Append(other.data_, other.size_); }
  BasicStr(BasicStr&& other) noexcept { Swap(other); }
  ~BasicStr() { free(data_); }

  BasicStr& operator=(const BasicStr& other) {
    if (this != &other) {
      size_ = 0;
      Append(other.data_, other.size_);
    }
    return *this;
  }
  BasicStr& operator=(BasicStr&& other) noexcept {
    Swap(other);
    return *this;
  }
  BasicStr& operator=(const C* text) {
    BasicStr copy(text);
    Swap(copy);
    return *this;
  }

  const C* c_str() const { return data_ ? data_ : Empty(); }
  // Writable characters; only valid when size() > 0.
  C* data() { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  C operator[](size_t i) const { return data_[i]; }
  C& operator[](size_t i) { return data_[i]; }
  C back() const { return data_[size_ - 1]; }

  bool Append(const C* text, size_t count) {
    if (count == 0) return true;
    // The text may be a part of this string, which growing moves.
    bool inside = data_ && text >= data_ && text < data_ + capacity_;
    size_t offset = inside ? static_cast<size_t>(text - data_) : 0;
    if (!Reserve(size_ + count)) return false;
    if (inside) text = data_ + offset;
    memmove(data_ + size_, text, count * sizeof(C));
    size_ += count;
    data_[size_] = 0;
    return true;
  }
  bool Append(const C* text) { return text ? Append(text, Length(text)) : true; }
  bool Append(const BasicStr& other) { return Append(other.data_, other.size_); }
  bool Append(C c) { return Append(&c, 1); }
  BasicStr& operator+=(const C* text) {
    Append(text);
    return *this;
  }
  BasicStr& operator+=(const BasicStr& other) {
    Append(other);
    return *this;
  }
  BasicStr& operator+=(C c) {
    Append(c);
    return *this;
  }

  // Grows with zero characters or cuts to count characters.
  bool Resize(size_t count) {
    if (count > size_) {
      if (!Reserve(count)) return false;
      memset(data_ + size_, 0, (count - size_) * sizeof(C));
    }
    size_ = count;
    if (data_) data_[size_] = 0;
    return true;
  }
  void Clear() { Resize(0); }
  bool Reserve(size_t count) {
    if (count < capacity_) return true;
    if (count >= npos / sizeof(C) / 2) return false;
    size_t grown = capacity_ + capacity_ / 2;
    size_t capacity = count + 1 > grown ? count + 1 : grown;
    C* data = static_cast<C*>(realloc(data_, capacity * sizeof(C)));
    if (!data) return false;
    data_ = data;
    capacity_ = capacity;
    return true;
  }

  size_t Find(C c, size_t from = 0) const {
    for (size_t i = from; i < size_; ++i) {
      if (data_[i] == c) return i;
    }
    return npos;
  }
  BasicStr Substr(size_t pos, size_t count = npos) const {
    if (pos >= size_) return BasicStr();
    if (count > size_ - pos) count = size_ - pos;
    return BasicStr(data_ + pos, count);
  }

  bool operator==(const BasicStr& other) const {
    return size_ == other.size_ &&
           (size_ == 0 || memcmp(data_, other.data_, size_ * sizeof(C)) == 0);
  }
  bool operator!=(const BasicStr& other) const { return !(*this == other); }
  bool operator==(const C* text) const {
    size_t count = Length(text);
    return size_ == count && (size_ == 0 || memcmp(data_, text, size_ * sizeof(C)) == 0);
  }
  bool operator!=(const C* text) const { return !(*this == text); }

  void Swap(BasicStr& other) {
    C* data = data_;
    size_t size = size_;
    size_t capacity = capacity_;
    data_ = other.data_;
    size_ = other.size_;
    capacity_ = other.capacity_;
    other.data_ = data;
    other.size_ = size;
    other.capacity_ = capacity;
  }

  static size_t Length(const C* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
  }

 private:
  static const C* Empty() {
    static const C empty[1] = {0};
    return empty;
  }

  C* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

template <typename C>
BasicStr<C> operator+(BasicStr<C> left, const BasicStr<C>& right) {
  left.Append(right);
  return left;
}
template <typename C>
BasicStr<C> operator+(BasicStr<C> left, const C* right) {
  left.Append(right);
  return left;
}

using WStr = BasicStr<wchar_t>;
using ByteStr = BasicStr<char>;

#pragma once

#include <stddef.h>
#include <stdlib.h>

#include <new>
#include <utility>

// A growable array of objects for the product, which does not use
// std::vector (its first use links much of libstdc++ into the download).
// On malloc, as common/owned.h explains. Elements move when it grows;
// allocation failures leave it as it was and are reported by the returned
// bool.
template <typename T>
class Vec {
 public:
  Vec() = default;
  Vec(const Vec&) = delete;
  Vec& operator=(const Vec&) = delete;
  Vec(Vec&& other) noexcept { Swap(other); }
  Vec& operator=(Vec&& other) noexcept {
    Vec moved(std::move(other));
    Swap(moved);
    return *this;
  }
  ~Vec() {
    Clear();
    free(data_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T& back() { return data_[size_ - 1]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  bool Push(T value) {
    if (size_ == capacity_ && !Grow()) return false;
    new (data_ + size_) T(std::move(value));
    ++size_;
    return true;
  }
  void Clear() {
    for (size_t i = size_; i > 0; --i) data_[i - 1].~T();
    size_ = 0;
  }

 private:
  bool Grow() {
    size_t capacity = capacity_ ? capacity_ * 2 : 16;
    if (capacity > static_cast<size_t>(-1) / 2 / sizeof(T)) return false;
    T* data = static_cast<T*>(malloc(capacity * sizeof(T)));
    if (!data) return false;
    for (size_t i = 0; i < size_; ++i) {
      new (data + i) T(std::move(data_[i]));
      data_[i].~T();
    }
    free(data_);
    data_ = data;
    capacity_ = capacity;
    return true;
  }
  void Swap(Vec& other) {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  T* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

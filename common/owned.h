#pragma once

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <type_traits>

// Memory with one owner, released when the owner goes; ownership passes by
// move. On malloc rather than operator new: new links the C++ library's
// exception support into the setup (see common/str.h). A failed allocation
// gives an empty owner, which callers test.

// One object, constructed in place and destroyed before its memory is freed.
template <typename T>
class Owned {
 public:
  Owned() = default;
  // Adopts an object that Make made and Release gave up.
  explicit Owned(T* object) : object_(object) {}
  Owned(Owned&& other) noexcept : object_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Reset(); }

  // A value-initialised object, or none when memory runs out.
  static Owned Make() {
    void* memory = malloc(sizeof(T));
    return Owned(memory ? new (memory) T() : nullptr);
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  [[nodiscard]] T* Release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  void Reset(T* object = nullptr) {
    if (object_) {
      object_->~T();
      free(object_);
    }
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

// An array of plain values (bytes, records) of a size chosen at run time.
template <typename T>
class OwnedArray {
  static_assert(std::is_trivially_copyable<T>::value, "moved with memcpy and realloc");

 public:
  OwnedArray() = default;
  OwnedArray(OwnedArray&& other) noexcept { Swap(other); }
  OwnedArray& operator=(OwnedArray&& other) noexcept {
    OwnedArray gone;
    gone.Swap(other);
    Swap(gone);
    return *this;
  }
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;
  ~OwnedArray() { free(items_); }

  // count zeroed values in place of what was held; false (nothing held)
  // when memory runs out.
  bool Allocate(size_t count) {
    free(items_);
    items_ = nullptr;
    count_ = 0;
    if (count == 0) return true;
    items_ = static_cast<T*>(calloc(count, sizeof(T)));
    if (!items_) return false;
    count_ = count;
    return true;
  }
  // Keeps the first values; new ones are zero. False, with the array as it
  // was, when memory runs out.
  bool Resize(size_t count) {
    if (count == count_) return true;
    if (count > static_cast<size_t>(-1) / sizeof(T)) return false;
    T* items = static_cast<T*>(realloc(items_, (count ? count : 1) * sizeof(T)));
    if (!items) return false;
    if (count > count_) memset(items + count_, 0, (count - count_) * sizeof(T));
    items_ = items;
    count_ = count;
    return true;
  }

  T* get() const { return items_; }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T& operator[](size_t i) const { return items_[i]; }

 private:
  void Swap(OwnedArray& other) {
    T* items = items_;
    size_t count = count_;
    items_ = other.items_;
    count_ = other.count_;
    other.items_ = items;
    other.count_ = count;
  }

  T* items_ = nullptr;
  size_t count_ = 0;
};

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdio.h>

// Owners of the few kinds of system resources the product opens, so that no
// exit path closes anything by hand.
template <typename Traits>
class Scoped {
 public:
  using Value = typename Traits::Value;

  Scoped() = default;
  explicit Scoped(Value value) : value_(value) {}
  Scoped(Scoped&& other) noexcept : value_(other.Release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    Reset(other.Release());
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  ~Scoped() { Reset(); }

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }
  Value Release() {
    Value value = value_;
    value_ = Traits::None();
    return value;
  }
  void Reset(Value value = Traits::None()) {
    if (Traits::IsValid(value_)) Traits::Close(value_);
    value_ = value;
  }

 private:
  Value value_ = Traits::None();
};

struct HandleTraits {
  using Value = HANDLE;
  static HANDLE None() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using ScopedHandle = Scoped<HandleTraits>;

struct InternetHandleTraits {
  using Value = HINTERNET;
  static HINTERNET None() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};
using ScopedInternetHandle = Scoped<InternetHandleTraits>;

struct FileTraits {
  using Value = FILE*;
  static FILE* None() { return nullptr; }
  static bool IsValid(FILE* f) { return f != nullptr; }
  static void Close(FILE* f) { fclose(f); }
};
using ScopedFile = Scoped<FileTraits>;

struct GlobalMemoryTraits {
  using Value = HGLOBAL;
  static HGLOBAL None() { return nullptr; }
  static bool IsValid(HGLOBAL h) { return h != nullptr; }
  static void Close(HGLOBAL h) { GlobalFree(h); }
};
using ScopedGlobal = Scoped<GlobalMemoryTraits>;

// A COM interface pointer, released once.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() { Reset(); }

  T* get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For the out parameter of a creating call; drops what was held.
  T** Receive() {
    Reset();
    return &ptr_;
  }
  void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
  void Reset() {
    if (ptr_) ptr_->Release();
    ptr_ = nullptr;
  }

 private:
  T* ptr_ = nullptr;
};

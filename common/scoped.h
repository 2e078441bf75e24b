#pragma once

#include <windows.h>
#include <bcrypt.h>
#include <objbase.h>
#include <wininet.h>
#include <stdio.h>

// Owners of the kinds of system resources the product opens, so that no
// exit path closes anything by hand. Ownership passes by move.
template <typename Traits>
class Scoped {
 public:
  using Value = typename Traits::Value;

  Scoped() = default;
  explicit Scoped(Value value) : value_(value) {}
  Scoped(Scoped&& other) noexcept : value_(other.Take()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    Reset(other.Take());
    return *this;
  }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  ~Scoped() { Reset(); }

  Value get() const { return value_; }
  bool valid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return valid(); }
  // Gives the value up unclosed: whoever takes it closes it, or knows that
  // something else already has.
  [[nodiscard]] Value Take() {
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

// Traits of a pointer-like value whose null owns nothing; each kind adds
// its Close.
template <typename T>
struct NullIsNone {
  using Value = T;
  static constexpr T None() { return nullptr; }
  static bool IsValid(T value) { return value != nullptr; }
};

struct HandleTraits {
  using Value = HANDLE;
  static constexpr HANDLE None() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using ScopedHandle = Scoped<HandleTraits>;
// Types of their own, so that an event's owner cannot take a thread.
struct EventTraits : HandleTraits {};
using ScopedEvent = Scoped<EventTraits>;
struct ThreadTraits : HandleTraits {};
using ScopedThread = Scoped<ThreadTraits>;

struct FindTraits : HandleTraits {
  static void Close(HANDLE h) { FindClose(h); }
};
using ScopedFind = Scoped<FindTraits>;

struct InternetHandleTraits : NullIsNone<HINTERNET> {
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};
using ScopedInternetHandle = Scoped<InternetHandleTraits>;

struct FileTraits : NullIsNone<FILE*> {
  static void Close(FILE* f) { fclose(f); }
};
using ScopedFile = Scoped<FileTraits>;

struct GlobalMemoryTraits : NullIsNone<HGLOBAL> {
  static void Close(HGLOBAL h) { GlobalFree(h); }
};
using ScopedGlobal = Scoped<GlobalMemoryTraits>;

// What the system allocates for its callers, such as FormatMessage's text.
struct LocalMemoryTraits : NullIsNone<HLOCAL> {
  static void Close(HLOCAL h) { LocalFree(h); }
};
using ScopedLocal = Scoped<LocalMemoryTraits>;

// What the shell and COM allocate for their callers, such as the item list
// SHBrowseForFolderW returns: the shell's allocator is COM's task allocator.
template <typename T>
struct CoTaskMemoryTraits : NullIsNone<T*> {
  static void Close(T* p) { CoTaskMemFree(p); }
};
template <typename T>
using ScopedCoTaskMemory = Scoped<CoTaskMemoryTraits<T>>;

// The system's cryptography: an algorithm provider, and one hash computed
// with it (destroyed before its provider is closed).
struct HashAlgorithmTraits : NullIsNone<BCRYPT_ALG_HANDLE> {
  static void Close(BCRYPT_ALG_HANDLE h) { BCryptCloseAlgorithmProvider(h, 0); }
};
using ScopedHashAlgorithm = Scoped<HashAlgorithmTraits>;
struct HashTraits : NullIsNone<BCRYPT_HASH_HANDLE> {
  static void Close(BCRYPT_HASH_HANDLE h) { BCryptDestroyHash(h); }
};
using ScopedHash = Scoped<HashTraits>;
// A key imported into a provider (destroyed before its provider is closed).
struct KeyTraits : NullIsNone<BCRYPT_KEY_HANDLE> {
  static void Close(BCRYPT_KEY_HANDLE h) { BCryptDestroyKey(h); }
};
using ScopedKey = Scoped<KeyTraits>;

// COM on the calling thread while the owner lives. COM counts its
// initialisations: every successful one (S_FALSE too) is undone once.
class ScopedComInit {
 public:
  ScopedComInit() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;
  ~ScopedComInit() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }

 private:
  HRESULT result_;
};

// A window's device context, released to that window.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;
  ~ScopedGetDC() { ReleaseDC(window_, dc_); }
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// A slim reader/writer lock held exclusively for the owner's life.
class ScopedExclusiveLock {
 public:
  explicit ScopedExclusiveLock(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ScopedExclusiveLock(const ScopedExclusiveLock&) = delete;
  ScopedExclusiveLock& operator=(const ScopedExclusiveLock&) = delete;
  ~ScopedExclusiveLock() { ReleaseSRWLockExclusive(lock_); }

 private:
  SRWLOCK* lock_;
};

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

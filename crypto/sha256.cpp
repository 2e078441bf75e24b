#include "crypto/sha256.h"

#include <windows.h>
#include <bcrypt.h>

#include "common/scoped.h"
#include "common/str.h"

namespace {

// Large reads: under Wine every ReadFile is a round trip through the server.
constexpr DWORD kReadSize = 65536;

// One digest in the making.
class Sha256 {
 public:
  Sha256() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return;
    }
    algorithm_.Reset(algorithm);
    // The provider keeps the hash object (Windows 7 and later).
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
      hash_.Reset(hash);
    }
  }
  bool Add(const void* data, ULONG size) {
    return hash_ && BCRYPT_SUCCESS(BCryptHashData(
                        hash_.get(), static_cast<PUCHAR>(const_cast<void*>(data)), size, 0));
  }
  bool Finish(uint8_t digest[kSha256Bytes]) {
    return hash_ && BCRYPT_SUCCESS(BCryptFinishHash(hash_.get(), digest, kSha256Bytes, 0));
  }

 private:
  // Declared before the hash, so that the hash is destroyed first.
  ScopedHashAlgorithm algorithm_;
  ScopedHash hash_;
};

}  // namespace

bool Sha256File(const wchar_t* path, uint8_t digest[kSha256Bytes], uint64_t* size) {
  if (size) *size = 0;
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  Sha256 hash;
  // On the heap: the worker's stack need not hold 64 KB.
  ByteStr buffer;
  if (!buffer.Resize(kReadSize)) return false;
  uint64_t total = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.get(), buffer.data(), kReadSize, &count, nullptr)) return false;
    if (count == 0) break;
    if (!hash.Add(buffer.data(), count)) return false;
    total += count;
  }
  if (!hash.Finish(digest)) return false;
  if (size) *size = total;
  return true;
}

bool Sha256Data(const void* data, size_t size, uint8_t digest[kSha256Bytes]) {
  Sha256 hash;
  return hash.Add(data, static_cast<ULONG>(size)) && hash.Finish(digest);
}

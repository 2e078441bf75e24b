#include "common/sha256_file.h"

#include <windows.h>
#include <bcrypt.h>

#include "common/scoped.h"
#include "common/str.h"

namespace {

// Large reads: under Wine every ReadFile is a round trip through the server.
constexpr DWORD kReadSize = 65536;

}  // namespace

bool Sha256File(const wchar_t* path, uint8_t digest[kSha256Bytes], uint64_t* size) {
  if (size) *size = 0;
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  BCRYPT_ALG_HANDLE algorithmValue = nullptr;
  if (!BCRYPT_SUCCESS(
          BCryptOpenAlgorithmProvider(&algorithmValue, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
    return false;
  }
  ScopedHashAlgorithm algorithm(algorithmValue);
  // Declared after its provider, so that it is destroyed first. The
  // provider keeps the hash object (Windows 7 and later).
  BCRYPT_HASH_HANDLE hashValue = nullptr;
  if (!BCRYPT_SUCCESS(BCryptCreateHash(algorithm.get(), &hashValue, nullptr, 0, nullptr, 0, 0))) {
    return false;
  }
  ScopedHash hash(hashValue);
  // On the heap: the worker's stack need not hold 64 KB.
  ByteStr buffer;
  if (!buffer.Resize(kReadSize)) return false;
  uint64_t total = 0;
  for (;;) {
    DWORD count = 0;
    if (!ReadFile(file.get(), buffer.data(), kReadSize, &count, nullptr)) return false;
    if (count == 0) break;
    if (!BCRYPT_SUCCESS(
            BCryptHashData(hash.get(), reinterpret_cast<PUCHAR>(buffer.data()), count, 0))) {
      return false;
    }
    total += count;
  }
  if (!BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, kSha256Bytes, 0))) return false;
  if (size) *size = total;
  return true;
}

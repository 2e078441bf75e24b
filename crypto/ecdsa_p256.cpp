#include "crypto/ecdsa_p256.h"

#include <windows.h>
#include <bcrypt.h>
#include <string.h>

#include "common/scoped.h"

namespace {

constexpr size_t kCoordinateBytes = 32;

// One INTEGER of the signature at *at, in minimal DER, positive and of at
// most 32 bytes, written right-aligned into out; *at moves past it.
bool ReadInteger(const uint8_t* der, size_t end, size_t* at, uint8_t out[kCoordinateBytes]) {
  size_t i = *at;
  if (end - i < 2 || der[i] != 0x02) return false;
  size_t length = der[i + 1];
  i += 2;
  if (length == 0 || length > end - i) return false;
  const uint8_t* value = der + i;
  // Negative, or a leading zero that is not needed: not what a signer writes.
  if (value[0] & 0x80) return false;
  if (length > 1 && value[0] == 0 && !(value[1] & 0x80)) return false;
  if (value[0] == 0) {
    ++value;
    --length;
  }
  if (length == 0 || length > kCoordinateBytes) return false;
  memset(out, 0, kCoordinateBytes);
  memcpy(out + kCoordinateBytes - length, value, length);
  *at = i + (value - (der + i)) + length;
  return true;
}

// r and s from the DER form, each 32 bytes.
bool ReadSignature(const uint8_t* der, size_t size, uint8_t rs[2 * kCoordinateBytes]) {
  // Both INTEGERs of at most 33 bytes keep the SEQUENCE's length in one byte.
  if (size < 8 || der[0] != 0x30 || der[1] != size - 2) return false;
  size_t at = 2;
  return ReadInteger(der, size, &at, rs) && ReadInteger(der, size, &at, rs + kCoordinateBytes) &&
         at == size;
}

}  // namespace

bool VerifyP256Signature(const uint8_t publicKey[kP256PublicKeyBytes],
                         const uint8_t digest[kSha256Bytes], const uint8_t* der, size_t derSize) {
  uint8_t rs[2 * kCoordinateBytes];
  if (!der || !ReadSignature(der, derSize, rs)) return false;
  BCRYPT_ALG_HANDLE algorithmValue = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithmValue, BCRYPT_ECDSA_P256_ALGORITHM,
                                                  nullptr, 0))) {
    return false;
  }
  ScopedHashAlgorithm algorithm(algorithmValue);
  struct {
    BCRYPT_ECCKEY_BLOB header;
    uint8_t point[kP256PublicKeyBytes];
  } blob;
  blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  blob.header.cbKey = kCoordinateBytes;
  memcpy(blob.point, publicKey, kP256PublicKeyBytes);
  BCRYPT_KEY_HANDLE keyValue = nullptr;
  // A point off the curve does not import.
  if (!BCRYPT_SUCCESS(BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                          &keyValue, reinterpret_cast<PUCHAR>(&blob),
                                          sizeof blob, 0))) {
    return false;
  }
  ScopedKey key(keyValue);
  return BCryptVerifySignature(key.get(), nullptr, const_cast<PUCHAR>(digest), kSha256Bytes, rs,
                               sizeof rs, 0) == 0;
}

bool IsP256SignatureForm(const uint8_t* der, size_t derSize) {
  uint8_t rs[2 * kCoordinateBytes];
  return der && ReadSignature(der, derSize, rs);
}

#include "verify/manifest_fields.h"

#include <string.h>

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

bool ParseSha256(const WStr& text, uint8_t digest[kSha256Bytes]) {
  if (text.size() != 2 * kSha256Bytes) return false;
  for (int i = 0; i < kSha256Bytes; ++i) {
    int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

bool MatchesDeclared(const WStr& sizeText, const WStr& sha256Text, uint64_t size,
                     const uint8_t digest[kSha256Bytes]) {
  uint64_t declaredSize = 0;
  uint8_t declaredDigest[kSha256Bytes];
  if (!sizeText.empty() && (!ParseDecimal64(sizeText, &declaredSize) || size != declaredSize)) {
    return false;
  }
  return sha256Text.empty() || (ParseSha256(sha256Text, declaredDigest) &&
                                memcmp(digest, declaredDigest, kSha256Bytes) == 0);
}

bool DeclaresWhole(const WStr& sizeText, const WStr& sha256Text) {
  uint64_t size = 0;
  uint8_t digest[kSha256Bytes];
  return ParseDecimal64(sizeText, &size) && ParseSha256(sha256Text, digest);
}

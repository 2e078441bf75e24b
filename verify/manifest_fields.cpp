#include "verify/manifest_fields.h"

#include <string.h>

#include "common/number_text.h"

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

bool VersionPartsFit(const WStr& text) {
  uint32_t part = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      part = part * 10 + static_cast<uint32_t>(c - L'0');
      if (part > 255) return false;
    } else {
      part = 0;
    }
  }
  return true;
}

DeclaredFile ReadDeclaredFile(const WStr& sizeText, const WStr& sha256Text) {
  DeclaredFile declared;
  declared.sizeGiven = !sizeText.empty();
  declared.sizeRead = declared.sizeGiven && ParseDecimal64(sizeText, &declared.size);
  declared.digestGiven = !sha256Text.empty();
  declared.digestRead = declared.digestGiven && ParseSha256(sha256Text, declared.digest);
  return declared;
}

bool MatchesDeclared(const DeclaredFile& declared, uint64_t size,
                     const uint8_t digest[kSha256Bytes]) {
  if (declared.sizeGiven && (!declared.sizeRead || size != declared.size)) return false;
  return !declared.digestGiven ||
         (declared.digestRead && memcmp(digest, declared.digest, kSha256Bytes) == 0);
}

#include "install/package_check.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "common/sha256_file.h"

namespace {

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool ParseDigest(const WStr& text, uint8_t digest[kSha256Bytes]) {
  if (text.size() != 2 * kSha256Bytes) return false;
  for (int i = 0; i < kSha256Bytes; ++i) {
    int high = HexDigit(text[2 * i]), low = HexDigit(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return true;
}

}  // namespace

bool ParseDeclaredSize(const WStr& text, uint64_t* size) {
  // 20 digits can exceed 64 bits; every value up to 19 digits fits.
  if (text.empty() || text.size() > 19) return false;
  uint64_t value = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] < L'0' || text[i] > L'9') return false;
    value = value * 10 + static_cast<uint64_t>(text[i] - L'0');
  }
  *size = value;
  return true;
}

uint64_t FileSizeOf(const wchar_t* path, bool* known) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  *known = GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PackageMatches(const wchar_t* path, const WStr& sizeText, const WStr& sha256Text) {
  if (sizeText.empty() && sha256Text.empty()) return true;
  uint64_t declaredSize = 0;
  uint8_t declaredDigest[kSha256Bytes];
  if (!sizeText.empty() && !ParseDeclaredSize(sizeText, &declaredSize)) return false;
  if (!sha256Text.empty() && !ParseDigest(sha256Text, declaredDigest)) return false;
  // The size first: a file of another size need not be hashed.
  if (!sizeText.empty()) {
    bool known = false;
    uint64_t size = FileSizeOf(path, &known);
    if (!known || size != declaredSize) return false;
  }
  if (sha256Text.empty()) return true;
  uint8_t digest[kSha256Bytes];
  uint64_t size = 0;
  if (!Sha256File(path, digest, &size)) return false;
  if (!sizeText.empty() && size != declaredSize) return false;
  return memcmp(digest, declaredDigest, kSha256Bytes) == 0;
}

namespace {

bool OpenPackage(const wchar_t* path, CheckedPackage* package) {
  package->archive.Reset(OpenArchiveFile(path));
  ZipItem summary;
  if (!package->archive || GetArchiveItem(package->archive.get(), -1, &summary) != 0) {
    package->archive.Reset();
    return false;
  }
  package->itemCount = summary.index;
  package->path = path;
  return true;
}

}  // namespace

bool CheckPackage(const wchar_t* path, const Manifest& declared, CheckedPackage* package) {
  // A package other than the one the manifest declares (a stale copy, a
  // cut or altered one that is still a zip) is no package of this version.
  if (!PackageMatches(path, declared.packageSize, declared.packageSha256) ||
      !OpenPackage(path, package)) {
    return false;
  }
  if (VerifyArchive(package->archive.get(), &package->facts) != ZipResult::Ok) {
    package->archive.Reset();
    return false;
  }
  return true;
}

bool ReopenPackage(const wchar_t* path, CheckedPackage* package) {
  int checked = package->itemCount;
  package->archive.Reset();
  // Another count of items is another file than the one checked.
  if (OpenPackage(path, package) && package->itemCount == checked) return true;
  package->archive.Reset();
  return false;
}

#include "verify/package_check.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "common/sha256.h"
#include "verify/manifest_fields.h"

uint64_t FileSizeOf(const wchar_t* path, bool* known) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  *known = GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PackageMatches(const wchar_t* path, const WStr& sizeText, const WStr& sha256Text) {
  if (sizeText.empty() && sha256Text.empty()) return true;
  bool known = false;
  uint64_t size = FileSizeOf(path, &known);
  // The size first: a file of another size need not be hashed.
  if (!known || !MatchesDeclared(sizeText, WStr(), size, nullptr)) return false;
  if (sha256Text.empty()) return true;
  uint8_t digest[kSha256Bytes];
  return Sha256File(path, digest, &size) && MatchesDeclared(sizeText, sha256Text, size, digest);
}

namespace {

// Opens the package for reading, sharing it only with other readers: while
// it is open no program can write, rename or delete it, so that what is
// hashed and checked is what is extracted.
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

PackageVerdict Refuse(CheckedPackage* package, PackageVerdict verdict) {
  package->archive.Reset();
  return verdict;
}

}  // namespace

PackageVerdict CheckPackage(const wchar_t* path, const Manifest& declared, bool toBeReopened,
                            CheckedPackage* package) {
  // A package other than the one the manifest declares (a stale copy, a
  // cut or altered one that is still a zip) is no package of this version.
  if (!OpenPackage(path, package)) {
    return PackageMatches(path, declared.packageSize, declared.packageSha256)
               ? PackageVerdict::kNotAZip
               : PackageVerdict::kNotDeclared;
  }
  bool declaresDigest = !declared.packageSha256.empty();
  if (declaresDigest || toBeReopened) {
    uint64_t size = 0;
    if (!Sha256File(path, package->digest, &size)) {
      return Refuse(package, PackageVerdict::kNotAZip);
    }
    if (!MatchesDeclared(declared.packageSize, declared.packageSha256, size, package->digest)) {
      return Refuse(package, PackageVerdict::kNotDeclared);
    }
  } else if (!PackageMatches(path, declared.packageSize, declared.packageSha256)) {
    return Refuse(package, PackageVerdict::kNotDeclared);
  }
  if (VerifyArchive(package->archive.get(), &package->facts) != ZipResult::Ok) {
    return Refuse(package, PackageVerdict::kNotAZip);
  }
  return PackageVerdict::kChecked;
}

bool ReopenPackage(const wchar_t* path, CheckedPackage* package) {
  int checked = package->itemCount;
  package->archive.Reset();
  // Between the two openings another program could have written it: only
  // the bytes that were checked go on.
  uint8_t digest[kSha256Bytes];
  uint64_t size = 0;
  if (OpenPackage(path, package) && package->itemCount == checked &&
      Sha256File(path, digest, &size) && memcmp(digest, package->digest, kSha256Bytes) == 0) {
    return true;
  }
  package->archive.Reset();
  return false;
}

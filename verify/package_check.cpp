#include "verify/package_check.h"

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include "common/file_size.h"
#include "crypto/sha256.h"
#include "verify/manifest_fields.h"

bool PackageMatches(const wchar_t* path, const DeclaredFile& declared) {
  if (!declared.Declared()) return true;
  bool known = false;
  uint64_t size = FileSizeOf(path, &known);
  // The size first: a file of another size need not be hashed.
  if (!known || (declared.sizeGiven && (!declared.sizeRead || size != declared.size))) {
    return false;
  }
  if (!declared.digestGiven) return true;
  uint8_t digest[kSha256Bytes];
  return Sha256File(path, digest, &size) && MatchesDeclared(declared, size, digest);
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
                            ItemData data, CheckedPackage* package) {
  // A package other than the one the manifest declares (a stale copy, a
  // cut or altered one that is still a zip) is no package of this version.
  if (!OpenPackage(path, package)) {
    return PackageMatches(path, declared.package)
               ? PackageVerdict::kNotAZip
               : PackageVerdict::kNotDeclared;
  }
  bool declaresDigest = declared.package.digestGiven;
  if (declaresDigest || toBeReopened) {
    uint64_t size = 0;
    if (!Sha256File(path, package->digest, &size)) {
      return Refuse(package, PackageVerdict::kNotAZip);
    }
    if (!MatchesDeclared(declared.package, size, package->digest)) {
      return Refuse(package, PackageVerdict::kNotDeclared);
    }
  } else if (!PackageMatches(path, declared.package)) {
    return Refuse(package, PackageVerdict::kNotDeclared);
  }
  ZipResult checked = data == ItemData::kRead
                          ? VerifyArchive(package->archive.get(), &package->facts)
                          : VerifyArchiveStructure(package->archive.get(), &package->facts);
  if (checked != ZipResult::Ok) {
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

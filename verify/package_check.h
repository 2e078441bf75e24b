#pragma once

#include <stdint.h>

#include "crypto/sha256.h"
#include "common/str.h"
#include "verify/version_manifest.h"
#include "zip/unzipper.h"

// Whether the downloaded file is the one the manifest declares. True when
// nothing is declared; a declaration that cannot be read matches no file.
bool PackageMatches(const wchar_t* path, const DeclaredFile& declared);

// The package, open, with what its check learnt.
struct CheckedPackage {
  ScopedArchive archive;
  int itemCount = 0;
  ArchiveFacts facts = {};
  // The SHA-256 of the bytes checked.
  uint8_t digest[kSha256Bytes] = {};
  // Where it was opened, for a second reader of its own.
  WStr path;
};

enum class PackageVerdict {
  kChecked,
  // Not the size or SHA-256 that the manifest declares.
  kNotDeclared,
  // No zip archive, or one of which an item would not extract.
  kNotAZip,
};

// How much of the items' data the check reads.
enum class ItemData {
  // Every item's, so that the package is known whole before the go-ahead.
  kRead,
  // None: the staging of every item reads each once and refuses the
  // package there, before anything of the installation changes.
  kLeftToStaging,
};

// The zip check, before the go-ahead: the package is the one the manifest
// declares, opens as a zip archive, and every item of it would extract
// (VerifyArchive; its structure alone with kLeftToStaging), so that a
// damaged or hostile package is refused before anything in the install
// folder changes. Hashed and checked while it is held open against
// writers, and left open for the extraction; nothing is open when it is
// refused. A package to be reopened elsewhere is hashed also when no
// digest is declared, so that its second opening can tell.
PackageVerdict CheckPackage(const wchar_t* path, const Manifest& declared, bool toBeReopened,
                            ItemData data, CheckedPackage* package);

// Opens the checked package again where it was moved to, keeping what its
// check learnt. False, with nothing open, when it does not open or its
// bytes are no longer the ones checked.
bool ReopenPackage(const wchar_t* path, CheckedPackage* package);

#pragma once

#include <stdint.h>

#include "common/str.h"
#include "install/version_manifest.h"
#include "zip/unzipper.h"

// A declared size (decimal digits only); false when it cannot be read.
bool ParseDeclaredSize(const WStr& text, uint64_t* size);
// The size of a file; known says false when there is no file at path.
uint64_t FileSizeOf(const wchar_t* path, bool* known);

// Whether the downloaded package is the one the manifest declares: its
// size (decimal) and SHA-256 (64 hexadecimal digits) as the manifest's
// texts, each empty when not declared. True when nothing is declared. A
// declaration that cannot be read matches no file: the vendor meant to
// check something, and an unchecked package is not what was declared.
bool PackageMatches(const wchar_t* path, const WStr& sizeText, const WStr& sha256Text);

// The package, open, with what its check learnt.
struct CheckedPackage {
  ScopedArchive archive;
  int itemCount = 0;
  ArchiveFacts facts = {};
  // Where it was opened, for a second reader of its own.
  WStr path;
};

// The zip check, before the go-ahead: the package is the one the manifest
// declares, opens as a zip archive, and every item of it would extract
// (VerifyArchive), so that a damaged or hostile package is refused before
// anything in the install folder changes. False, with nothing open, when
// it is not.
bool CheckPackage(const wchar_t* path, const Manifest& declared, CheckedPackage* package);

// Opens the checked package again where it was moved to, keeping what its
// check learnt. False, with nothing open, when it does not open.
bool ReopenPackage(const wchar_t* path, CheckedPackage* package);

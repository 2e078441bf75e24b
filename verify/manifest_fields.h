#pragma once

#include <stdint.h>

#include "crypto/sha256.h"
#include "common/str.h"
#include "verify/version_manifest.h"

// A SHA-256 digest of the manifest: 64 hexadecimal digits, either case.
bool ParseSha256(const WStr& text, uint8_t digest[kSha256Bytes]);

// Whether no number of a version text ("2.5.300.1") is over 255: a part
// that does not fit is no version of this setup's, never one wrapped to
// its low byte.
bool VersionPartsFit(const WStr& text);

// A file's declaration from the manifest's size (decimal) and SHA-256
// texts, each empty when not given.
DeclaredFile ReadDeclaredFile(const WStr& sizeText, const WStr& sha256Text);

// Whether a file of that size and digest is the declared one: true when
// nothing is declared. The digest is not read when no SHA-256 is declared.
bool MatchesDeclared(const DeclaredFile& declared, uint64_t size,
                     const uint8_t digest[kSha256Bytes]);

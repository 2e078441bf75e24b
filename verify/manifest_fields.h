#pragma once

#include <stdint.h>

#include "common/sha256.h"
#include "common/number_text.h"
#include "common/str.h"

// A SHA-256 digest of the manifest: 64 hexadecimal digits, either case.
bool ParseSha256(const WStr& text, uint8_t digest[kSha256Bytes]);

// Whether a file of that size and digest is the one declared by the
// manifest's size and SHA-256 texts, each empty when not declared. A
// declaration that cannot be read matches no file: the vendor meant to
// check something, and an unchecked file is not what was declared. The
// digest is not read when no SHA-256 is declared.
bool MatchesDeclared(const WStr& sizeText, const WStr& sha256Text, uint64_t size,
                     const uint8_t digest[kSha256Bytes]);

// Whether both texts are given and readable: what a signed manifest must
// declare of every file it binds.
bool DeclaresWhole(const WStr& sizeText, const WStr& sha256Text);

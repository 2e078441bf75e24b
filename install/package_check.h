#pragma once

#include "common/str.h"

// Whether the downloaded package is the one the manifest declares: its
// size (decimal) and SHA-256 (64 hexadecimal digits) as the manifest's
// texts, each empty when not declared. True when nothing is declared. A
// declaration that cannot be read matches no file: the vendor meant to
// check something, and an unchecked package is not what was declared.
bool PackageMatches(const wchar_t* path, const WStr& sizeText, const WStr& sha256Text);

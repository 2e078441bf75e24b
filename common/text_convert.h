#pragma once

#include "common/str.h"

// Bytes in a code page to UTF-16 and back; the product always passes 65001.
// Both stop at the first zero unit of their input. Invalid byte sequences do
// not fail the conversion (for UTF-8 they become U+FFFD).
WStr MultiByteToWide(const ByteStr& bytes, unsigned codePage);
ByteStr WideToMultiByte(const WStr& text, unsigned codePage);

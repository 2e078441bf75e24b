#pragma once

#include <stdint.h>

#include "common/str.h"

// Four 8-bit parts, the first in the top byte; 0 means "no version".
using PackedVersion = uint32_t;

// Reads "a.b.c.d" as a scanf "%hhd.%hhd.%hhd.%hhd" would: each number keeps
// its low 8 bits (300 gives 44), parts not reached stay 0.
PackedVersion ParseVersion(const wchar_t* text);

// "1.2.3.4"; trailing ".0" parts are dropped down to two parts ("1.0", "0.0").
WStr FormatVersion(PackedVersion version);

// Product version (not the file version) of an executable, the low byte of
// each 16-bit part; 0 when it has none. An empty path means this setup.
PackedVersion GetProductVersion(const wchar_t* path);

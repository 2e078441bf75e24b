#pragma once

#include <string>

#include "common/str.h"

// The product's text as a standard string, whole (a zero inside included),
// for comparisons and messages in tests.
inline std::wstring W(const WStr& s) { return std::wstring(s.c_str(), s.size()); }

#pragma once

#include <stddef.h>

inline bool IsXmlSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r'; }

// Where a tag name ends inside markup.
inline bool IsTagNameEnd(wchar_t c) { return IsXmlSpace(c) || c == L'/' || c == L'>'; }

// Where a name ends inside a path or a stored name (0 is the end of the string).
inline bool IsPathNameEnd(wchar_t c) {
  return c == 0 || c == L' ' || c == L'/' || c == L'=' || c == L'[' || c == L']';
}

// Compares n units of a with b; b must end right after them (see
// IsPathNameEnd). Ignoring case folds ASCII letters only, and only until a
// unit of 128 or above has been passed.
bool CompareNames(const wchar_t* a, const wchar_t* b, size_t n, bool ignoreCase);

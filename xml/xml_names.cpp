#include "xml/xml_names.h"

namespace {

wchar_t FoldUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - 32 : c; }

}  // namespace

bool CompareNames(const wchar_t* a, const wchar_t* b, size_t n, bool ignoreCase) {
  bool passedWide = false;
  for (size_t i = 0; i < n; ++i) {
    wchar_t x = a[i], y = b[i];
    if (x != y) {
      if (!ignoreCase || passedWide || FoldUpper(x) != FoldUpper(y)) return false;
    }
    // b's terminator never equals a unit of a (the text holds no zero units).
    if (y == 0) return false;
    if (x >= 128) passedWide = true;
  }
  return IsPathNameEnd(b[n]);
}

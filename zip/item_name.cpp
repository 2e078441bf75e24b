#include "zip/item_name.h"

#include <string.h>

#include "zip/archive_handle.h"

namespace {

bool EqualsNoCase(const wchar_t* text, size_t length, const wchar_t* word) {
  size_t n = wcslen(word);
  return length == n && _wcsnicmp(text, word, n) == 0;
}

bool IsCurrentFolder(const wchar_t* c, size_t length) { return length == 1 && c[0] == L'.'; }

// A component that Windows would not keep as written, or that names no file
// in the target: empty (two separators in a row), made of dots and blanks
// only ("..", ". "), ending in a dot or a blank (trimmed away, so that
// "a." would be "a"), holding a character no file name may hold (control
// characters, < > " | ? *), or a device (CON, PRN, AUX, NUL, COM0-9 and LPT0-9,
// the digits 1-3 also as superscripts, CONIN$, CONOUT$), with or without an
// extension.
bool IsDangerousComponent(const wchar_t* c, size_t length) {
  if (length == 0 || c[length - 1] == L'.' || c[length - 1] == L' ') return true;
  // Characters no Windows file name may hold: such an item would fail only
  // when its turn to be extracted came.
  for (size_t i = 0; i < length; ++i) {
    if (c[i] < 0x20 || wcschr(L"<>\"|?*", c[i])) return true;
  }
  size_t others = 0;
  for (size_t i = 0; i < length; ++i) {
    if (c[i] != L'.' && c[i] != L' ') ++others;
  }
  if (others == 0) return true;
  size_t base = 0;
  while (base < length && c[base] != L'.') ++base;
  while (base > 0 && c[base - 1] == L' ') --base;
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (EqualsNoCase(c, base, device)) return true;
  }
  if (base == 4 && (_wcsnicmp(c, L"COM", 3) == 0 || _wcsnicmp(c, L"LPT", 3) == 0)) {
    wchar_t digit = c[3];
    if ((digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
        digit == L'\u00B3') {
      return true;
    }
  }
  return false;
}

}  // namespace

bool MakeSafeName(const wchar_t* name, wchar_t* safe, size_t safeSize) {
  if (!safe || safeSize == 0) return false;
  safe[0] = 0;
  if (!name) return true;
  const wchar_t* p = name;
  static const wchar_t* const kParentSegments[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
  for (;;) {
    if (p[0] && p[1] == L':') {
      p += 2;
      continue;
    }
    if (IsZipSeparator(p[0])) {
      p += 1;
      continue;
    }
    const wchar_t* next = nullptr;
    for (const wchar_t* segment : kParentSegments) {
      const wchar_t* hit = wcsstr(p, segment);
      if (hit) {
        next = hit + 4;
        break;
      }
    }
    if (!next) break;
    p = next;
  }
  if (wcschr(p, L':')) return false;
  size_t limit = safeSize < static_cast<size_t>(kZipPathChars) ? safeSize : kZipPathChars;
  size_t used = 0;
  for (const wchar_t* c = p; *c;) {
    const wchar_t* end = c;
    while (*end && !IsZipSeparator(*end)) ++end;
    size_t length = static_cast<size_t>(end - c);
    const wchar_t* after = *end ? end + 1 : end;
    if (IsCurrentFolder(c, length)) {
      c = after;
      continue;
    }
    // The component with its separator, if it has one.
    size_t count = static_cast<size_t>(after - c);
    if (IsDangerousComponent(c, length) || used + count >= limit) {
      safe[0] = 0;
      return false;
    }
    memcpy(safe + used, c, count * sizeof(wchar_t));
    used += count;
    c = after;
  }
  safe[used] = 0;
  return true;
}

bool NamesCurrentFolder(const wchar_t* name) {
  if (!name || !name[0]) return false;
  for (const wchar_t* c = name; *c;) {
    const wchar_t* end = c;
    while (*end && !IsZipSeparator(*end)) ++end;
    if (!IsCurrentFolder(c, static_cast<size_t>(end - c))) return false;
    c = *end ? end + 1 : end;
  }
  return true;
}

#include "common/version_number.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#include "common/module_path.h"
#include "common/scoped.h"

namespace {

bool IsScanSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

// One "%hhd": white space, an optional sign, at least one digit. Returns
// false when no number is there; the value is the number's low 8 bits.
bool ScanByte(const wchar_t*& p, uint8_t& value) {
  const wchar_t* q = p;
  while (IsScanSpace(*q)) ++q;
  bool negative = false;
  if (*q == L'+' || *q == L'-') negative = *q++ == L'-';
  if (*q < L'0' || *q > L'9') return false;
  uint32_t number = 0;  // wraps; the low 8 bits stay exact
  while (*q >= L'0' && *q <= L'9') number = number * 10 + static_cast<uint32_t>(*q++ - L'0');
  if (negative) number = 0u - number;
  value = static_cast<uint8_t>(number);
  p = q;
  return true;
}

}  // namespace

PackedVersion ParseVersion(const wchar_t* text) {
  uint8_t parts[4] = {};
  const wchar_t* p = text ? text : L"";
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*p != L'.') break;
      ++p;
    }
    if (!ScanByte(p, parts[i])) break;
  }
  return (static_cast<uint32_t>(parts[0]) << 24) | (static_cast<uint32_t>(parts[1]) << 16) |
         (static_cast<uint32_t>(parts[2]) << 8) | parts[3];
}

WStr FormatVersion(PackedVersion version) {
  wchar_t text[16] = {};
  _snwprintf_s(text, 16, _TRUNCATE, L"%d.%d.%d.%d", static_cast<int>(version >> 24),
               static_cast<int>((version >> 16) & 0xFF), static_cast<int>((version >> 8) & 0xFF),
               static_cast<int>(version & 0xFF));
  size_t length = wcslen(text);
  while (length >= 3 && text[length - 2] == L'.' && text[length - 1] == L'0') length -= 2;
  text[length] = 0;
  if (!wcschr(text, L'.')) wcscat_s(text, 16, L".0");
  return WStr(text);
}

PackedVersion GetProductVersion(const wchar_t* path) {
  WStr ownPath;
  if (!path || !*path) {
    ownPath = GetModulePath();
    path = ownPath.c_str();
  }
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path, &handle);
  if (size == 0) return 0;
  ScopedGlobal block(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!block) return 0;
  PackedVersion version = 0;
  void* data = GlobalLock(block.get());
  if (data && GetFileVersionInfoW(path, 0, size, data)) {
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (VerQueryValueW(data, L"\\", reinterpret_cast<void**>(&info), &infoSize) && info &&
        infoSize >= sizeof(VS_FIXEDFILEINFO)) {
      version = ((HIWORD(info->dwProductVersionMS) & 0xFF) << 24) |
                ((LOWORD(info->dwProductVersionMS) & 0xFF) << 16) |
                ((HIWORD(info->dwProductVersionLS) & 0xFF) << 8) |
                (LOWORD(info->dwProductVersionLS) & 0xFF);
    }
  }
  if (data) GlobalUnlock(block.get());
  return version;
}

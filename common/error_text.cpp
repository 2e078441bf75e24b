#include "common/error_text.h"

#include <windows.h>
#include <stdio.h>
#include <wchar.h>

#include "common/scoped.h"

size_t TrimFinalLineEnd(const wchar_t* text, size_t length) {
  if (length > 1 && text[length - 1] == L'\n') {
    --length;
    if (text[length - 1] == L'\r') --length;
  }
  return length;
}

WStr LastErrorText() { return ErrorText(GetLastError()); }

WStr ErrorText(DWORD code) {
  wchar_t* system = nullptr;
  // WinInet's errors have their texts in its own module.
  HMODULE internet = code >= 12000 && code < 13000 ? GetModuleHandleW(L"wininet.dll") : nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER |
          (internet ? FORMAT_MESSAGE_FROM_HMODULE : 0),
      internet, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&system),
      0, nullptr);
  ScopedLocal owner(system);
  WStr text;
  if (length > 0 && system) {
    text.Append(system, TrimFinalLineEnd(system, length));
  } else {
    // The wording of _com_error for codes the system has no text for.
    wchar_t fallback[32] = {};
    LONG signedCode = static_cast<LONG>(code);
    unsigned dispatchNumber = (code - 0x200u) & 0xFFFFu;
    if (signedCode >= static_cast<LONG>(0x80040200) &&
        signedCode <= static_cast<LONG>(0x8004FFFF) && dispatchNumber != 0) {
      _snwprintf_s(fallback, 32, _TRUNCATE, L"IDispatch error #%d",
                   static_cast<int>(dispatchNumber));
    } else {
      _snwprintf_s(fallback, 32, _TRUNCATE, L"Unknown error 0x%0lX",
                   static_cast<unsigned long>(code));
    }
    text.Append(fallback);
  }
  wchar_t suffix[16] = {};
  _snwprintf_s(suffix, 16, _TRUNCATE, L"(0x%X)", static_cast<unsigned>(code));
  text.Append(suffix);
  return text;
}

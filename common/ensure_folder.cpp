#include "common/ensure_folder.h"

#include <windows.h>
#include <wchar.h>

namespace {

constexpr size_t kEnsureSize = 261;

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

bool EnsureFolder(const wchar_t* path) {
  wchar_t text[kEnsureSize] = {};
  if (!path || wcslen(path) >= MAX_PATH) return false;
  wcscpy_s(text, kEnsureSize, path);

  wchar_t* lastSlash = wcsrchr(text, L'\\');
  if (lastSlash && wcschr(lastSlash + 1, L'.')) {
    lastSlash[1] = 0;
  } else if (!lastSlash || lastSlash[1] != 0) {
    // Room for it: the text has at most 259 characters in 261.
    wcscat_s(text, kEnsureSize, L"\\");
  }

  // From index 3, past a drive prefix such as "C:\".
  size_t length = wcslen(text);
  for (size_t i = 3; i < length; ++i) {
    if (text[i] != L'\\') continue;
    text[i] = 0;
    if (!Exists(text)) CreateDirectoryW(text, nullptr);
    text[i] = L'\\';
  }
  return Exists(text);
}

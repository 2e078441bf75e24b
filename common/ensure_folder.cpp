#include "common/ensure_folder.h"

#include <windows.h>
#include <wchar.h>

namespace {

constexpr size_t kEnsureSize = 261;

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

bool MakeDirectly(const wchar_t* path) { return CreateDirectoryW(path, nullptr) != 0; }

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Characters in front of the first folder that can be made: "C:\", "C:",
// "\\server\share\", a leading separator, or none.
size_t RootLength(const wchar_t* path) {
  if (path[0] && path[1] == L':') return IsSeparator(path[2]) ? 3 : 2;
  if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    // Server and share are names, not folders to make.
    size_t i = 2;
    for (int names = 0; names < 2; ++names) {
      while (path[i] && !IsSeparator(path[i])) ++i;
      if (path[i]) ++i;
    }
    return i;
  }
  return IsSeparator(path[0]) ? 1 : 0;
}

}  // namespace

bool MakeFolders(const wchar_t* folderPath, FolderMaker make) {
  if (!folderPath) return false;
  if (!make) make = MakeDirectly;
  size_t length = wcslen(folderPath);
  // A trailing separator is no character of the folder's name.
  size_t bare = length;
  while (bare > 0 && IsSeparator(folderPath[bare - 1])) --bare;
  if (bare >= MAX_PATH || length >= kEnsureSize) return false;
  wchar_t text[kEnsureSize];
  wcscpy_s(text, kEnsureSize, folderPath);
  // Each prefix that ends before a separator, then the whole path: parents
  // before their children.
  for (size_t i = RootLength(text); i < length; ++i) {
    if (!IsSeparator(text[i]) || IsSeparator(text[i - 1])) continue;
    wchar_t separator = text[i];
    text[i] = 0;
    if (!Exists(text)) make(text);
    text[i] = separator;
  }
  if (length > 0 && !IsSeparator(text[length - 1]) && !Exists(text)) {
    make(text);
  }
  return length > 0 && Exists(text);
}

bool EnsureFolder(const wchar_t* path, FolderMaker make) {
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
  return MakeFolders(text, make);
}

#include "app/install_path.h"

#include <windows.h>
#include <wchar.h>

#include "app/control_ids.h"
#include "app/setup_state.h"

namespace {

constexpr size_t kFolderBoxSize = 512;
constexpr size_t kEnsureSize = 261;

bool Exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

WStr InstallPath(const wchar_t* relativePath) {
  wchar_t folder[kFolderBoxSize] = {};
  GetDlgItemTextW(gPages[kPageFolder], kIdFolderBox, folder, kFolderBoxSize);
  WStr path(folder);
  if (path.empty() || path.back() != L'\\') path.Append(L'\\');
  if (relativePath) path.Append(relativePath);
  if (path.size() >= kFolderBoxSize) return WStr();
  return path;
}

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

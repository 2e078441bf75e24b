#include "app/install_path.h"

#include <windows.h>

#include "app/control_ids.h"
#include "app/setup_state.h"

namespace {

constexpr size_t kFolderBoxSize = 512;

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

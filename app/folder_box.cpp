#include "app/folder_box.h"

#include <windows.h>

#include "app/control_ids.h"
#include "app/setup_state.h"

WStr FolderBoxText() {
  wchar_t text[kFolderBoxSize] = {};
  GetDlgItemTextW(gPages[kPageFolder], kIdFolderBox, text, static_cast<int>(kFolderBoxSize));
  if (wcslen(text) > kInstallFolderLimit) return WStr();
  return WStr(text);
}

WStr InstallPath(const wchar_t* relativePath) {
  return InstallFolder(FolderBoxText()).Path(relativePath);
}

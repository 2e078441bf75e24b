#include "app/folder_box.h"

#include <windows.h>

#include "app/control_ids.h"
#include "app/setup_state.h"

namespace {
// The box holds up to 511 characters; one more tells a text that is longer.
constexpr int kFolderBoxSize = 512;
}  // namespace

WStr FolderBoxText() {
  wchar_t text[kFolderBoxSize] = {};
  GetDlgItemTextW(gPages[kPageFolder], kIdFolderBox, text, kFolderBoxSize);
  if (wcslen(text) > kInstallFolderLimit) return WStr();
  return WStr(text);
}

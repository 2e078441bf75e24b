#include "install/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <stdio.h>

#include "app/worker_access.h"
#include "common/scoped.h"
#include "common/shell_places.h"

namespace {

constexpr wchar_t kLinkName[] = L"\\Quelda Manager.lnk";

struct Shortcut {
  InstallOption option;
  WStr path;
  bool checked;
};

void SaveLinks(Shortcut* shortcuts, int count) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid()))) {
    return;
  }
  if (FAILED(link->SetPath(InstallPath(L"Quelda.exe").c_str())) ||
      FAILED(link->SetDescription(kLinkName))) {
    return;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return;
  for (int i = 0; i < count; ++i) {
    if (shortcuts[i].checked && !shortcuts[i].path.empty()) {
      file->Save(shortcuts[i].path.c_str(), FALSE);
    }
  }
}

}  // namespace

void CreateShortcuts() {
  Shortcut shortcuts[] = {
      {InstallOption::kDesktopLink, ShellLinkPath(CSIDL_DESKTOP), false},
      {InstallOption::kProgramsLink, ShellLinkPath(CSIDL_PROGRAMS), false},
      {InstallOption::kStartupLink, ShellLinkPath(CSIDL_STARTUP), false},
      {InstallOption::kQuickLaunchLink, QuickLaunchLinkPath(), false},
  };
  bool anyChecked = false;
  for (Shortcut& shortcut : shortcuts) {
    shortcut.checked = IsOptionChecked(shortcut.option);
    anyChecked = anyChecked || shortcut.checked;
  }
  if (anyChecked) {
    // Nothing else on this thread uses COM: it lives for these calls only.
    ScopedComInit com;
    SaveLinks(shortcuts, 4);
  }
  for (const Shortcut& shortcut : shortcuts) {
    if (!shortcut.checked && !shortcut.path.empty()) _wremove(shortcut.path.c_str());
  }
}

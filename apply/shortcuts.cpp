#include "apply/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/scoped.h"
#include "common/shell_places.h"
#include "disk/file_system.h"

namespace {

constexpr wchar_t kLinkName[] = L"\\Quelda Manager.lnk";

struct Shortcut {
  WStr path;
  bool checked;
};

void SaveLinks(Shortcut* shortcuts, int count, const WStr& applicationFile) {
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.ReceiveVoid()))) {
    return;
  }
  if (FAILED(link->SetPath(applicationFile.c_str())) || FAILED(link->SetDescription(kLinkName))) {
    return;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()))) return;
  for (int i = 0; i < count; ++i) {
    if (shortcuts[i].checked && !shortcuts[i].path.empty()) {
      FsSaveLink(file.get(), shortcuts[i].path.c_str());
    }
  }
}

}  // namespace

void CreateShortcuts(const ShortcutChoices& choices, const WStr& applicationFile) {
  Shortcut shortcuts[] = {
      {ShellLinkPath(CSIDL_DESKTOP), choices.desktop},
      {ShellLinkPath(CSIDL_PROGRAMS), choices.programs},
      {ShellLinkPath(CSIDL_STARTUP), choices.startup},
      {QuickLaunchLinkPath(), choices.quickLaunch},
  };
  bool anyChecked = false;
  for (const Shortcut& shortcut : shortcuts) anyChecked = anyChecked || shortcut.checked;
  if (anyChecked) {
    // Nothing else on this thread uses COM: it lives for these calls only.
    ScopedComInit com;
    SaveLinks(shortcuts, 4, applicationFile);
  }
  for (const Shortcut& shortcut : shortcuts) {
    if (!shortcut.checked && !shortcut.path.empty()) FsDelete(shortcut.path.c_str());
  }
}

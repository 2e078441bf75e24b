#include "support/link_probe.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "common/shell_places.h"

std::wstring LinkPath(int box) {
  switch (box) {
    case kDesktopBox:
      return ShellLinkPath(CSIDL_DESKTOP).c_str();
    case kProgramsBox:
      return ShellLinkPath(CSIDL_PROGRAMS).c_str();
    case kStartupBox:
      return ShellLinkPath(CSIDL_STARTUP).c_str();
    default:
      return QuickLaunchLinkPath().c_str();
  }
}

bool LoadLink(const std::wstring& path, Link* link) {
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok =
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ));
  wchar_t text[MAX_PATH] = {};
  if (ok) ok = SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, 0));
  link->target = text;
  wchar_t description[MAX_PATH] = {};
  if (ok) ok = SUCCEEDED(shellLink->GetDescription(description, MAX_PATH));
  link->description = description;
  if (file) file->Release();
  shellLink->Release();
  return ok;
}

void ResetShortcuts() {
  std::wstring quickLaunch = LinkPath(kQuickLaunchBox);
  if (!quickLaunch.empty()) {
    std::wstring dir = quickLaunch.substr(0, quickLaunch.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
  }
  for (int box : kShortcutBoxes) DeleteFileW(LinkPath(box).c_str());
}

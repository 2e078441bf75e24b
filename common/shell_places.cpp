#include "common/shell_places.h"

#include <windows.h>
#include <shlobj.h>
#include <wchar.h>

bool IsWindows7OrLater() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 1;
  version.wServicePackMajor = 0;
  DWORDLONG condition = 0;
  condition = VerSetConditionMask(condition, VER_MAJORVERSION, VER_GREATER_EQUAL);
  condition = VerSetConditionMask(condition, VER_MINORVERSION, VER_GREATER_EQUAL);
  condition = VerSetConditionMask(condition, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&version, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            condition) != FALSE;
}

namespace {

// The shell folder followed by the name, as long as both fit the 261
// characters the shortcut paths are held in.
WStr ShellFolderPlus(int csidl, const wchar_t* name) {
  wchar_t folder[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) return WStr();
  WStr path(folder);
  path.Append(name);
  if (path.size() > MAX_PATH) return WStr();
  return path;
}

}  // namespace

WStr QuickLaunchLinkPath() {
  if (!IsWindows7OrLater()) return WStr();
  // The user's own Quick Launch folder lies directly in the application-data
  // folder; a further "Application Data" level would name a folder that
  // does not exist.
  return ShellFolderPlus(CSIDL_APPDATA,
                         L"\\Microsoft\\Internet Explorer\\Quick Launch\\Quelda Manager.lnk");
}

WStr ShellLinkPath(int csidl) { return ShellFolderPlus(csidl, L"\\Quelda Manager.lnk"); }

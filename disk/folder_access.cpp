#include "disk/folder_access.h"

#include <windows.h>
#include <sddl.h>
#include <wchar.h>

#include "common/scoped.h"
#include "disk/file_system.h"

WStr InstallFolderSddl(const WStr& userSid) {
  WStr sddl(L"D:P(A;OICI;FA;;;");
  sddl.Append(userSid);
  sddl.Append(L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;GRGX;;;BU)");
  return sddl;
}

WStr CurrentUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return WStr();
  ScopedHandle owned(token);
  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } info;
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (!GetTokenInformation(token, TokenUser, &info, sizeof(info), &size) ||
      !ConvertSidToStringSidW(info.user.User.Sid, &text)) {
    return WStr();
  }
  WStr sid(text);
  LocalFree(text);
  return sid;
}

bool MakeInstallFolder(const wchar_t* folder) {
  if (!folder || !folder[0]) return false;
  if (GetFileAttributesW(folder) != INVALID_FILE_ATTRIBUTES) return FsEnsureFolder(folder);
  WStr path(folder);
  while (!path.empty() && (path[path.size() - 1] == L'\\' || path[path.size() - 1] == L'/')) {
    path.Resize(path.size() - 1);
  }
  size_t slash = path.size();
  while (slash > 0 && path[slash - 1] != L'\\' && path[slash - 1] != L'/') --slash;
  // A last component with a dot names a file, as the folder page has always
  // taken it: only the folders above it are made.
  if (path.size() == wcslen(folder) && wcschr(path.c_str() + slash, L'.')) {
    return FsEnsureFolder(folder);
  }
  if (slash > 0) {
    WStr parent = path.Substr(0, slash);
    if (!FsEnsureFolder(parent.c_str())) return false;
  }
  WStr sid = CurrentUserSid();
  // Without the user's SID no list can name the user: the folder is made
  // as its parent would make it, rather than not at all.
  if (sid.empty()) return FsMakeFolder(path.c_str()) || FsEnsureFolder(folder);
  return FsMakeFolderWithAccess(path.c_str(), InstallFolderSddl(sid).c_str()) ||
         GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

#include "update/file_holder.h"

#include <windows.h>
#include <restartmanager.h>

#include "common/scoped.h"

namespace {

using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using EndSession = DWORD(WINAPI*)(DWORD);
using RegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT,
                                         LPCWSTR*);
using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);

// A library loaded for the lookup alone.
struct LibraryTraits : NullIsNone<HMODULE> {
  static void Close(HMODULE module) { FreeLibrary(module); }
};

template <typename F>
F Find(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

WStr ProgramHoldingFile(const wchar_t* path) {
  // Loaded when a file is found held, which is seldom: the setup does not
  // import it, and starts without it.
  // By its full path: never a DLL of that name beside the setup.
  wchar_t system[MAX_PATH] = {};
  UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return WStr();
  WStr dll(system);
  dll.Append(L"\\rstrtmgr.dll");
  Scoped<LibraryTraits> library(LoadLibraryW(dll.c_str()));
  if (!library) return WStr();
  auto start = Find<StartSession>(library.get(), "RmStartSession");
  auto end = Find<EndSession>(library.get(), "RmEndSession");
  auto add = Find<RegisterResources>(library.get(), "RmRegisterResources");
  auto list = Find<GetList>(library.get(), "RmGetList");
  if (!start || !end || !add || !list) return WStr();
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start(&session, 0, key) != ERROR_SUCCESS) return WStr();
  WStr name;
  LPCWSTR files[] = {path};
  RM_PROCESS_INFO holders[4] = {};
  UINT needed = 0, count = 4;
  DWORD reasons = 0;
  // ERROR_MORE_DATA still fills the first ones.
  if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
    DWORD listed = list(session, &needed, &count, holders, &reasons);
    if ((listed == ERROR_SUCCESS || listed == ERROR_MORE_DATA) && count > 0 && needed > 0) {
      holders[0].strAppName[CCH_RM_MAX_APP_NAME] = 0;
      name = holders[0].strAppName;
    }
  }
  end(session);
  return name;
}

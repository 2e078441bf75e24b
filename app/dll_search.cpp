#include "app/dll_search.h"

#include <windows.h>
#include <delayimp.h>

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
  wchar_t path[MAX_PATH];
  UINT length = GetSystemDirectoryW(path, MAX_PATH);
  size_t name = 0;
  while (info->szDll[name]) ++name;
  if (length == 0 || length + 1 + name >= MAX_PATH) return nullptr;
  path[length++] = L'\\';
  // DLL names are ASCII.
  for (size_t i = 0; i <= name; ++i) path[length + i] = static_cast<wchar_t>(info->szDll[i]);
  return reinterpret_cast<FARPROC>(LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace

void RestrictDllSearch() {
  // Windows 7 has the call only with its update KB2533623; without it the
  // delay loads by full path still hold.
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(
                                 GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Nor the current folder, for what is loaded by name.
  SetDllDirectoryW(L"");
  __pfnDliNotifyHook2 = LoadFromSystemFolder;
}

#include "common/module_path.h"

#include <windows.h>
#include <wchar.h>

WStr GetModulePath() {
  HMODULE module = nullptr;
  // The module holding this code, so that the answer is the setup's file even
  // when the code is linked into another program (as in the tests).
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&GetModulePath), &module)) {
    return WStr();
  }
  wchar_t path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return WStr();
  return WStr(path, length);
}

WStr GetModuleDirPath(const wchar_t* name) {
  WStr path = GetModulePath();
  size_t cut = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == L'\\' || path[i] == L'/') cut = i + 1;
  }
  path.Resize(cut);
  if (name) path.Append(name);
  if (path.size() >= MAX_PATH) return WStr();
  return path;
}

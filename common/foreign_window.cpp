#include "common/foreign_window.h"

#include <psapi.h>

#include "common/scoped.h"

WStr ProcessPathOfWindow(HWND window) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return WStr();
  HMODULE firstModule = nullptr;
  DWORD needed = 0;
  wchar_t path[MAX_PATH] = {};
  if (EnumProcessModules(process.get(), &firstModule, sizeof(firstModule), &needed)) {
    GetModuleFileNameExW(process.get(), firstModule, path, MAX_PATH);
  }
  return WStr(path);
}

bool SendWithinLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer) {
  *answer = 0;
  return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG, 5000,
                             answer) != 0;
}

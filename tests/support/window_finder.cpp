#include "support/window_finder.h"

#include <vector>

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(10);
  }
}

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId) return TRUE;
  if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (search->className && lstrcmpiW(className, search->className) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className, bool visibleOnly) {
  Search search = {processId, className, visibleOnly, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds,
                          bool visibleOnly) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindProcessWindow(processId, className, visibleOnly);
        return found != nullptr;
      },
      milliseconds);
  return found;
}

std::wstring WindowText(HWND window) {
  std::vector<wchar_t> text(1024);
  int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return std::wstring(text.data(), length > 0 ? length : 0);
}

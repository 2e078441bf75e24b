#include "install/close_app.h"

#include <windows.h>
#include <wchar.h>

#include "app/single_instance.h"

namespace {

BOOL CALLBACK AskToClose(HWND window, LPARAM context) {
  const wchar_t* application = reinterpret_cast<const wchar_t*>(context);
  WStr path = ProcessPathOfWindow(window);
  if (_wcsicmp(path.c_str(), application) != 0) return TRUE;
  // The ways the application has been known to accept a close, in order.
  if (SendMessageW(window, WM_COMMAND, 3, 0)) return TRUE;
  if (SendMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0)) return TRUE;
  if (SendMessageW(window, WM_COMMAND, IDCANCEL, 0)) return TRUE;
  if (SendMessageW(window, WM_COMMAND, 0xE300, 0)) return TRUE;
  SendMessageW(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

void CloseRunningApp(const wchar_t* applicationFile) {
  EnumWindows(AskToClose, reinterpret_cast<LPARAM>(applicationFile));
}

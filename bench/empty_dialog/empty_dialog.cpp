#include <windows.h>

#ifdef QUELDA_PLATFORM_DIALOG
#include <bcrypt.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <objbase.h>
#include <psapi.h>
#include <shellapi.h>
#include <wininet.h>
#endif

static INT_PTR CALLBACK EmptyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
  return FALSE;
}

#ifdef QUELDA_PLATFORM_DIALOG
// Never true: the calls only make the program import what the setup imports.
volatile bool gNever = false;
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
#ifdef QUELDA_PLATFORM_DIALOG
  if (gNever) {
    InternetOpenW(nullptr, 0, nullptr, nullptr, 0);
    SHFileOperationW(nullptr);
    CoInitialize(nullptr);
    EmptyWorkingSet(nullptr);
    GetFileVersionInfoSizeW(nullptr, nullptr);
    Gdiplus::DllExports::GdipFree(nullptr);
    BCryptCloseAlgorithmProvider(nullptr, 0);
  }
  // The common controls, as the setup starts them.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
#endif
  DialogBoxParamW(instance, MAKEINTRESOURCEW(100), nullptr, EmptyDialogProc, 0);
  return 0;
}

#include <windows.h>

static INT_PTR CALLBACK EmptyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
  return FALSE;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(100), nullptr, EmptyDialogProc, 0);
  return 0;
}

#include "app/wizard_frame.h"

#include <wchar.h>

#include "app/control_ids.h"
#include "app/setup_state.h"
#include "res/resource_ids.h"

namespace {

HICON gFrameIcon = nullptr;

void InitFrame(HWND frame) {
  gFrameIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SETUP));
  SendMessageW(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gFrameIcon));
  SendMessageW(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(gFrameIcon));
  if (gUpdateMode) {
    SetWindowTextW(frame, L"更新 Quelda Manager");
    ShowWindow(GetDlgItem(frame, kIdBack), SW_HIDE);
    ShowWindow(GetDlgItem(frame, kIdNext), SW_HIDE);
    SetEvent(gProceedEvent);
  }
}

void Activate(HWND frame, const COPYDATASTRUCT* data) {
  if (!data || !IsWindow(frame) || data->dwData != COPYDATA_ACTIVATE) return;
  if (GetWindowLongW(frame, GWL_STYLE) & WS_CHILD) return;
  wchar_t className[32] = {};
  GetClassNameW(frame, className, 32);
  if (_wcsicmp(className, L"#32770") != 0) return;
  // Minimising first makes the restore bring the window up even where the
  // foreground lock would keep a plain SetForegroundWindow from working.
  ShowWindow(frame, SW_MINIMIZE);
  ShowWindow(frame, SW_RESTORE);
  SetForegroundWindow(frame);
}

}  // namespace

INT_PTR CALLBACK WizardFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitFrame(frame);
      return FALSE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(frame, IDCANCEL);
      return FALSE;
    case WM_COPYDATA:
      Activate(frame, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return FALSE;
    case WM_DESTROY:
      if (gFrameIcon) DestroyIcon(gFrameIcon);
      gFrameIcon = nullptr;
      return FALSE;
  }
  return FALSE;
}

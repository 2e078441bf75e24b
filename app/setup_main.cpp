#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <io.h>
#include <wchar.h>

#include "app/setup_state.h"
#include "app/single_instance.h"
#include "app/wizard_frame.h"
#include "common/module_path.h"
#include "res/resource_ids.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  wchar_t lowerPath[MAX_PATH] = {};
  WStr modulePath = GetModulePath();
  wcsncpy_s(lowerPath, MAX_PATH, modulePath.c_str(), _TRUNCATE);
  LowerAsciiInPlace(lowerPath);

  // Never closed: its existence tells a later start of this file that it runs.
  CreateEventW(nullptr, TRUE, TRUE, MakeInstanceKey(WStr(lowerPath)).c_str());
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    EnumWindows(ActivateRunningSetup, reinterpret_cast<LPARAM>(lowerPath));
    return 0;
  }

  gCancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  gProceedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  WStr application = GetModuleDirPath(L"Quelda.exe");
  gUpdateMode = !application.empty() && _waccess(application.c_str(), 0) == 0;

  Gdiplus::GdiplusStartupInput gdiplusInput;
  ULONG_PTR gdiplusToken = 0;
  Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

  // The progress bar and the balloon tip of the pages.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FRAME), nullptr, WizardFrameProc, 0);

  Gdiplus::GdiplusShutdown(gdiplusToken);
  CloseHandle(gCancelEvent);
  CloseHandle(gProceedEvent);
  return 0;
}

#include "app/wizard_frame.h"

#include <commctrl.h>
#include <io.h>
#include <limits.h>
#include <wchar.h>

#include "app/banner.h"
#include "app/control_ids.h"
#include "app/folder_box.h"
#include "app/setup_state.h"
#include "app/status_slot.h"
#include "app/wizard_pages.h"
#include "app/worker_control.h"
#include "apply/installation_check.h"
#include "common/ensure_folder.h"
#include "common/module_path.h"
#include "disk/folder_access.h"
#include "res/resource_ids.h"

namespace {

// Where the pages begin; the frame cannot be resized, so it stays.
int gBannerBottom = 0;

// A page is a plain, hidden, borderless child until the frame shows it.
constexpr LONG kPageStyleMask = static_cast<LONG>(
    ~(WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

bool IsPage(HWND window) {
  for (HWND page : gPages) {
    if (page == window) return true;
  }
  return false;
}

void ShowCurrentPage(HWND frame) {
  for (int i = 0; i < kPageCount; ++i) ShowWindow(gPages[i], i == gPageIndex ? SW_SHOW : SW_HIDE);
  EnableWindow(GetDlgItem(frame, kIdBack), gPageIndex > 0);
  EnableWindow(GetDlgItem(frame, kIdNext), gPageIndex < kPageCount - 1);
}

// Visits the frame's own controls, the buttons and the line above them,
// with their rectangles in the frame's client coordinates.
template <typename Visit>
void ForEachFrameControl(HWND frame, Visit visit) {
  for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsPage(child)) continue;
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT*>(&rect), 2);
    visit(child, rect);
  }
}

// The banner's height follows the frame's width, the pages' height the
// dialog font; at some DPIs (150% among them) the pages would reach over the
// line above the buttons. The frame then grows by the difference, and the
// line and the buttons move down with its bottom edge.
void MakeRoomForPages(HWND frame, int pagesBottom) {
  int controlsTop = INT_MAX;
  ForEachFrameControl(frame, [&](HWND, const RECT& rect) {
    if (rect.top < controlsTop) controlsTop = rect.top;
  });
  if (controlsTop == INT_MAX || pagesBottom <= controlsTop) return;
  int extra = pagesBottom - controlsTop;
  ForEachFrameControl(frame, [&](HWND control, const RECT& rect) {
    SetWindowPos(control, nullptr, rect.left, rect.top + extra, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  });
  RECT outer;
  GetWindowRect(frame, &outer);
  // Still centred, as the template asks.
  SetWindowPos(frame, nullptr, outer.left, outer.top - extra / 2, outer.right - outer.left,
               outer.bottom - outer.top + extra, SWP_NOZORDER | SWP_NOACTIVATE);
}

void InitFrame(HWND frame) {
  // A shared icon of the module: the system keeps it, nobody destroys it.
  HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_SETUP));
  SendMessageW(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SendMessageW(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

  RECT client;
  GetClientRect(frame, &client);
  int top = BannerHeight(client.right);
  gBannerBottom = top;
  // The download page's creation starts the install worker.
  gPages[kPageWelcome] = CreatePage(frame, IDD_WELCOME, top, WelcomePageProc);
  gPages[kPageFolder] = CreatePage(frame, IDD_FOLDER, top, FolderPageProc);
  gPages[kPageOptions] = CreatePage(frame, IDD_OPTIONS, top, OptionsPageProc);
  gPages[kPageDownload] = CreatePage(frame, IDD_DOWNLOAD, top, DownloadPageProc);
  RECT page = {};
  if (gPages[kPageWelcome]) GetClientRect(gPages[kPageWelcome], &page);
  MakeRoomForPages(frame, top + page.bottom);

  if (gUpdateMode) {
    SetWindowTextW(frame, L"更新 Quelda Manager");
    ShowWindow(GetDlgItem(frame, kIdBack), SW_HIDE);
    ShowWindow(GetDlgItem(frame, kIdNext), SW_HIDE);
    GiveGoAhead();
    ShowWindow(gPages[kPageDownload], SW_SHOW);
    gPageIndex = kPageDownload;
  } else {
    ShowWindow(gPages[kPageWelcome], SW_SHOW);
  }
}

// The folder on the folder page must exist and be readable and writable.
bool FolderPasses() {
  // A text too long for InstallPath fails without anything being created.
  WStr folder = FolderBoxText();
  if (!folder.empty()) {
    MakeInstallFolder(folder.c_str());
    if (_waccess(folder.c_str(), 6) == 0) return true;
  }
  wchar_t title[64] = {};
  GetWindowTextW(gPages[kPageFolder], title, 64);
  EDITBALLOONTIP tip = {};
  tip.cbStruct = sizeof(tip);
  tip.pszTitle = title;
  tip.pszText = L"创建文件夹失败或文件夹无写入权限，请重新选择！";
  tip.ttiIcon = TTI_WARNING;
  SendDlgItemMessageW(gPages[kPageFolder], kIdFolderBox, EM_SHOWBALLOONTIP, 0,
                      reinterpret_cast<LPARAM>(&tip));
  return false;
}

void Navigate(HWND frame, int id) {
  bool proceed = false;
  if (id == kIdNext) {
    if (gPageIndex == kPageFolder && !FolderPasses()) return;
    proceed = gPageIndex == kPageOptions;
    if (gPageIndex < kPageCount - 1) ++gPageIndex;
  } else {
    if (gPageIndex == kPageDownload && !WithdrawGoAhead()) return;
    if (gPageIndex > 0) --gPageIndex;
  }
  ShowCurrentPage(frame);
  // Only now: a worker that goes ahead disables Back and Next, and showing
  // the download page must not enable Back again after it.
  if (proceed) GiveGoAhead();
}

void AskToQuit(HWND frame) {
  int kind = GetStatusKind();
  if (kind != kStatusWorking) {
    // The update failed and was undone: the user goes on with the
    // installed version, where the folder is an installation at all.
    if (gUpdateMode && kind == kStatusFailed &&
        IsSetupInstallation(InstallFolder(GetModuleDirPath(L"")))) {
      LaunchApplication();
    }
    EndDialog(frame, IDCANCEL);
    return;
  }
  wchar_t title[128] = {};
  GetWindowTextW(frame, title, 128);
  wchar_t question[256] = {};
  _snwprintf_s(question, 256, _TRUNCATE, L"正在%s，确定要退出吗？", title);
  if (MessageBoxW(frame, question, title, MB_OKCANCEL | MB_ICONQUESTION) == IDOK) {
    EndDialog(frame, IDCANCEL);
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

// The dialog background everywhere but under the banner, so that erasing
// after the banner is drawn does not cover it again.
BOOL EraseAroundBanner(HWND frame, HDC dc) {
  RECT client;
  GetClientRect(frame, &client);
  RECT below = client;
  below.top = gBannerBottom;
  FillRect(dc, &below, GetSysColorBrush(COLOR_3DFACE));
  SetWindowLongPtrW(frame, DWLP_MSGRESULT, TRUE);
  return TRUE;
}

}  // namespace

HWND CreatePage(HWND frame, int templateId, int top, DLGPROC procedure) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(templateId), RT_DIALOG);
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(module, resource);
  auto* dialog = static_cast<const DLGTEMPLATE*>(loaded ? LockResource(loaded) : nullptr);
  // A loaded resource is part of the mapped image: there is nothing to free.
  HWND page = dialog ? CreateDialogIndirectParamW(module, dialog, frame, procedure, 0) : nullptr;
  if (!page) return nullptr;
  SetWindowLongW(page, GWL_STYLE, GetWindowLongW(page, GWL_STYLE) & kPageStyleMask);
  RECT client;
  GetClientRect(page, &client);
  MoveWindow(page, 0, top, client.right, client.bottom, FALSE);
  return page;
}

INT_PTR CALLBACK WizardFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      InitFrame(frame);
      return FALSE;
    case WM_PAINT:
      DrawBanner(frame);
      return FALSE;
    case WM_ERASEBKGND:
      return EraseAroundBanner(frame, reinterpret_cast<HDC>(wParam));
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdBack:
        case kIdNext:
          Navigate(frame, LOWORD(wParam));
          break;
        case kIdCancel:
          AskToQuit(frame);
          break;
      }
      return FALSE;
    case WM_COPYDATA:
      Activate(frame, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
      return FALSE;
    case WM_DESTROY:
      EndWorker();
      ReleaseBanner();
      for (HWND& page : gPages) {
        if (page) DestroyWindow(page);
        page = nullptr;
      }
      return FALSE;
  }
  return FALSE;
}

#include "app/wizard_pages.h"

#include <commctrl.h>
#include <io.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "app/control_ids.h"
#include "app/setup_state.h"
#include "app/status_slot.h"
#include "app/folder_box.h"
#include "app/worker_control.h"
#include "common/module_path.h"
#include "common/scoped.h"
#include "common/shell_places.h"

void LaunchApplication() {
  ShellExecuteW(nullptr, nullptr, InstallPath(L"Quelda.exe").c_str(), nullptr, nullptr,
                SW_SHOWNORMAL);
}

namespace {

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM preselect) {
  if (message == BFFM_INITIALIZED) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, preselect);
  return 0;
}

void BrowseForFolder(HWND page) {
  wchar_t folder[MAX_PATH] = {};
  GetDlgItemTextW(page, kIdFolderBox, folder, MAX_PATH);
  // The new-style browser needs COM on this thread for as long as it is open.
  ScopedComInit com;
  BROWSEINFOW info = {};
  info.hwndOwner = page;
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_UAHINT;
  info.lpfn = BrowseCallback;
  info.lParam = reinterpret_cast<LPARAM>(folder);
  ScopedCoTaskMemory<ITEMIDLIST> chosen(SHBrowseForFolderW(&info));
  if (!chosen) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(chosen.get(), path)) SetDlgItemTextW(page, kIdFolderBox, path);
}

void CheckWhenExists(HWND page, int id, const WStr& path) {
  CheckDlgButton(page, id, _waccess(path.c_str(), 0) == 0 ? BST_CHECKED : BST_UNCHECKED);
}

void InitOptions(HWND page) {
  if (!gUpdateMode) {
    CheckDlgButton(page, kIdDesktopLink, BST_CHECKED);
    CheckDlgButton(page, kIdProgramsLink, BST_CHECKED);
    CheckDlgButton(page, kIdQuickLaunchLink, BST_CHECKED);
    CheckDlgButton(page, kIdStartupLink, BST_CHECKED);
    if (IsWindows7OrLater()) EnableWindow(GetDlgItem(page, kIdQuickLaunchLink), FALSE);
    return;
  }
  // An update keeps the shortcuts the installation has.
  const struct {
    int id;
    int csidl;
  } links[] = {{kIdDesktopLink, CSIDL_DESKTOP},
               {kIdProgramsLink, CSIDL_PROGRAMS},
               {kIdStartupLink, CSIDL_STARTUP}};
  for (const auto& link : links) {
    WStr path = ShellLinkPath(link.csidl);
    if (!path.empty()) CheckWhenExists(page, link.id, path);
  }
  WStr quickLaunch = QuickLaunchLinkPath();
  if (!quickLaunch.empty()) CheckWhenExists(page, kIdQuickLaunchLink, quickLaunch);
}

// The template names the system's information icon by number, which the
// page's module does not hold; give the icon control the system's own.
void SetInformationIcon(HWND page) {
  for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      SendMessageW(child, STM_SETICON,
                   reinterpret_cast<WPARAM>(LoadIconW(nullptr, IDI_INFORMATION)), 0);
    }
  }
}

// Set once the wizard has begun to end on a finish or an update's end:
// reports still queued then must not ask a second time.
bool gEnding = false;

// Posted to the download page as it is made.
constexpr UINT kMsgStartWorker = WM_APP + 1;

// The set-up of the bar last applied (StatusView::rangeSerial).
uint32_t gShownRangeSerial = 0;

void ShowBarPosition(HWND bar, uint32_t position, uint32_t range) {
  if (position < range) {
    SendMessageW(bar, PBM_SETPOS, position, 0);
    return;
  }
  // Full. A bar of no steps (a package smaller than one step) has no
  // position that fills it.
  if (range == 0) {
    range = 1;
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
  }
  SendMessageW(bar, PBM_SETPOS, range, 0);
}

void ShowStatus(HWND page) {
  // Taken even when it is no longer shown, so that the next report posts.
  StatusView status;
  TakeStatus(&status);
  if (gEnding) return;
  HWND frame = GetParent(page);
  int kind = status.kind;
  // A failed update stays on show with its retry button, as a failed
  // installation does: ending at once would report a failure as success.
  // The application, the previous version and whole, starts when the user
  // closes the wizard.
  if (gUpdateMode && kind == kStatusFinished) {
    gEnding = true;
    LaunchApplication();
    EndDialog(frame, IDCANCEL);
    return;
  }
  if (kind == kStatusFinished) {
    gEnding = true;
    if (MessageBoxW(frame, L"Quelda Manager 已安装完成！\r\n\r\n是否立即启动？",
                    L"安装 Quelda Manager", MB_YESNO | MB_ICONQUESTION) == IDYES) {
      LaunchApplication();
    }
    EndDialog(frame, IDCANCEL);
    return;
  }
  HWND bar = GetDlgItem(page, kIdProgressBar);
  if (status.rangeSerial != gShownRangeSerial) {
    gShownRangeSerial = status.rangeSerial;
    SendMessageW(bar, PBM_SETSTEP, 1, 0);
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(status.range));
  }
  // The worker's latest position, however many reports came since the last
  // one shown.
  if (status.progress) ShowBarPosition(bar, status.position, status.range);
  // The bar's own visibility: while another page is on show, IsWindowVisible
  // would say hidden for a bar that is not.
  bool visible = (GetWindowLongW(bar, GWL_STYLE) & WS_VISIBLE) != 0;
  if (status.progress != visible) ShowWindow(bar, status.progress ? SW_SHOW : SW_HIDE);
  // A static control repaints at once on every new text.
  wchar_t shown[kStatusTextSize];
  HWND line = GetDlgItem(page, kIdStatusLine);
  GetWindowTextW(line, shown, kStatusTextSize);
  if (wcscmp(status.text, shown) != 0) SetWindowTextW(line, status.text);
  ShowWindow(GetDlgItem(page, kIdRetry), kind == kStatusFailed ? SW_SHOW : SW_HIDE);
}

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextW(page, kIdFolderBox,
                    gUpdateMode ? GetModuleDirPath(L"").c_str() : L"C:\\Quelda Manager\\");
  } else if (message == WM_COMMAND && LOWORD(wParam) == kIdBrowse) {
    BrowseForFolder(page);
  }
  return FALSE;
}

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) InitOptions(page);
  return FALSE;
}

INT_PTR CALLBACK DownloadPageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetInformationIcon(page);
      // Once the frame is on show: the worker's start (its WinInet session,
      // its thread) need not delay the wizard's first appearance.
      PostMessageW(page, kMsgStartWorker, 0, 0);
      break;
    case kMsgStartWorker:
      StartWorker(page);
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdRetry) StartWorker(page);
      break;
    case WM_SETUP_STATUS:
      ShowStatus(page);
      break;
    case kMsgEndNavigation:
      EnableWindow(GetDlgItem(GetParent(page), kIdBack), FALSE);
      EnableWindow(GetDlgItem(GetParent(page), kIdNext), FALSE);
      break;
  }
  return FALSE;
}

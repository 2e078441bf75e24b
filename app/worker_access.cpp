#include "app/worker_access.h"

#include <commctrl.h>

#include "app/control_ids.h"
#include "app/folder_box.h"
#include "app/setup_state.h"
#include "app/worker_control.h"

namespace {

// By InstallOption.
constexpr int kOptionBoxes[] = {kIdDemoDatabase, kIdDesktopLink, kIdProgramsLink, kIdStartupLink,
                                kIdQuickLaunchLink};

}  // namespace

namespace {

WStr JoinInstallPath(WStr folder, const wchar_t* relativePath) {
  // No folder text that fits: no path, rather than one under the root.
  if (folder.empty()) return WStr();
  if (folder.back() != L'\\') folder.Append(L'\\');
  if (relativePath) folder.Append(relativePath);
  if (folder.size() >= kFolderBoxSize) return WStr();
  return folder;
}

}  // namespace

WStr InstallPath(const wchar_t* relativePath) {
  return JoinInstallPath(FolderBoxText(), relativePath);
}

FixedInstallFolder::FixedInstallFolder() : folder_(InstallPath(nullptr)) {}

WStr FixedInstallFolder::Path(const wchar_t* relativePath) const {
  return JoinInstallPath(folder_, relativePath);
}

bool IsOptionChecked(InstallOption option) {
  return IsDlgButtonChecked(gPages[kPageOptions], kOptionBoxes[static_cast<int>(option)]) ==
         BST_CHECKED;
}

void PrepareProgressBar(HWND downloadPage, uint32_t range) {
  HWND bar = GetDlgItem(downloadPage, kIdProgressBar);
  SendMessageW(bar, PBM_SETSTEP, 1, 0);
  SendMessageW(bar, PBM_SETPOS, 0, 0);
  SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(range));
}

void EndNavigation(HWND downloadPage) {
  HWND frame = GetParent(downloadPage);
  EnableWindow(GetDlgItem(frame, kIdBack), FALSE);
  EnableWindow(GetDlgItem(frame, kIdNext), FALSE);
}

HINTERNET WorkerSession() { return gWorkerSession.get(); }

HANDLE CancelEvent() { return gCancelEvent; }

HANDLE ProceedEvent() { return gProceedEvent; }

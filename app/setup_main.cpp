#include <windows.h>
#include <commctrl.h>
#include <io.h>
#include <wchar.h>

#include "app/dll_search.h"
#include "app/setup_state.h"
#include "app/single_instance.h"
#include "app/wizard_frame.h"
#include "common/module_path.h"
#include "common/scoped.h"
#include "common/scoped_gdiplus.h"
#include "disk/install_folder.h"
#include "update/update_journal.h"
#include "update/update_lock.h"
#include "update/update_recovery.h"
#include "res/resource_ids.h"
// The build's own: the keys given to it (QUELDA_UPDATE_KEYS).
#include "update_keys.h"

namespace {

constexpr wchar_t kForeignJournal[] =
    L"更新日志 “%s” 不是本安装程序为此文件夹写下的，未予执行，文件夹中没有任何改动。";

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  RestrictDllSearch();
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

  // The cancel event is made first and, its owner declared last, closed
  // first.
  ScopedEvent proceedEvent;
  ScopedEvent cancelEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  proceedEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  gCancelEvent = cancelEvent.get();
  gProceedEvent = proceedEvent.get();
  gUpdateKeys = &kBuildUpdateKeys;
  // An update of this folder that a power cut or the task manager ended
  // part-way is finished first, forward or back: until then Quelda.exe may
  // be missing, and the folder must not look like no installation at all.
  // A journal that is none of this setup's is never carried out: the user
  // is told, and the setup opens as it would without it.
  InstallFolder own(GetModuleDirPath(L""));
  bool unfinished = false;
  bool foreign = HasForeignJournal(own);
  if (!foreign && HasUnfinishedUpdate(own)) {
    // Not while another setup is at work in the folder.
    UpdateLock lock(own);
    unfinished = !lock.held() || !FinishUnfinishedUpdate(own);
  }
  WStr application = GetModuleDirPath(L"Quelda.exe");
  gUpdateMode = unfinished || (!application.empty() && _waccess(application.c_str(), 0) == 0);

  // Shut down before the events are closed.
  ScopedGdiplus gdiplus;

  // The progress bar and the balloon tip of the pages.
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (foreign) {
    wchar_t text[700];
    _snwprintf_s(text, _countof(text), _TRUNCATE, kForeignJournal,
                 own.Path(kJournalPath).c_str());
    MessageBoxW(nullptr, text, L"安装 Quelda Manager", MB_OK | MB_ICONWARNING);
  }
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FRAME), nullptr, WizardFrameProc, 0);
  return 0;
}

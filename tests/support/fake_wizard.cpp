#include "support/fake_wizard.h"

#include <commctrl.h>

#include "app/control_ids.h"
#include "app/setup_state.h"

FakeWizard::FakeWizard() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  window_ = CreateWindowExW(0, L"STATIC", L"fake wizard", WS_POPUP, 0, 0, 400, 300, nullptr,
                            nullptr, nullptr, nullptr);
  auto child = [&](const wchar_t* className, DWORD style, int id) {
    CreateWindowExW(0, className, L"", WS_CHILD | style, 0, 0, 100, 20, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  };
  child(L"EDIT", ES_AUTOHSCROLL, kIdFolderBox);
  for (int id :
       {kIdDemoDatabase, kIdDesktopLink, kIdProgramsLink, kIdQuickLaunchLink, kIdStartupLink}) {
    child(L"BUTTON", BS_AUTOCHECKBOX, id);
  }
  child(L"STATIC", 0, kIdStatusLine);
  child(PROGRESS_CLASSW, 0, kIdProgressBar);
  for (int id : {kIdRetry, kIdBack, kIdNext}) child(L"BUTTON", BS_PUSHBUTTON, id);
  for (HWND& page : gPages) page = window_;
}

FakeWizard::~FakeWizard() {
  for (HWND& page : gPages) page = nullptr;
  DestroyWindow(window_);
}

void FakeWizard::SetFolder(const std::wstring& folder) {
  SetDlgItemTextW(window_, kIdFolderBox, folder.c_str());
}

void FakeWizard::SetChecked(int id, bool checked) {
  CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

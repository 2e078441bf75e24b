#include "support/setup_runner.h"

#include <gtest/gtest.h>

#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {
constexpr DWORD kStartTimeout = 30000;
}

RunningSetup::RunningSetup(const std::wstring& folderName, bool withApplication,
                           const std::wstring& root, const std::wstring& setup) {
  folder_ = MakeScratchDir(folderName, root);
  exe_ = folder_ + L"\\QueldaSetup.exe";
  EXPECT_TRUE(CopyFileTo(setup.empty() ? SetupExePath() : setup, exe_));
  if (withApplication) {
    EXPECT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), folder_ + L"\\Quelda.exe"));
  }
}

RunningSetup::~RunningSetup() {
  process_.Kill();
  KillProcessesUnder(folder_);
}

bool RunningSetup::Start() {
  if (!process_.Start(exe_)) return false;
  frame_ = WaitForProcessWindow(process_.id(), L"#32770", kStartTimeout);
  return frame_ != nullptr;
}

long RunningSetup::Close() {
  PostMessageW(frame_, WM_COMMAND, IDCANCEL, 0);
  DWORD start = GetTickCount();
  while (GetTickCount() - start < kStartTimeout) {
    long code = process_.WaitForExit(50);
    if (code >= 0) return code;
    if (HWND box = FindMessageBox(process_.id(), frame_)) PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return -1;
}

HWND RunningSetup::Page(int controlId) const { return PageWithControl(frame_, controlId); }

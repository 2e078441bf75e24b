// Walks a setup through its wizard the way a person would, for the demo:
// looks at each page, asks for the demo database, goes on to the download,
// answers the finish question with Yes, and saves a picture of each step.
//   demo_walk SETUP_EXE SCREENSHOT_FOLDER PAUSE_MS
// Prints the install folder and exits 0 when the setup finished.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/control_ids.h"
#include "support/process.h"
#include "support/window_finder.h"

namespace {

std::wstring gPictures;
DWORD gPause = 0;

void Picture(HWND window, const wchar_t* name) {
  std::wstring path = gPictures + L"\\" + name + L".bmp";
  // The demo turns the bitmaps into PNG files and names those at the end.
  if (SaveWindowPicture(window, path)) wprintf(L"demo: picture of %ls\n", name);
  Sleep(gPause);
}

int Fail(const wchar_t* what) {
  fwprintf(stderr, L"demo: %ls\n", what);
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return Fail(L"usage: demo_walk SETUP_EXE SCREENSHOT_FOLDER PAUSE_MS");
  gPictures = argv[2];
  gPause = static_cast<DWORD>(_wtoi(argv[3]));
  ChildProcess setup;
  if (!setup.Start(argv[1])) return Fail(L"the setup does not start");
  HWND frame = WaitForProcessWindow(setup.id(), L"#32770", 30000);
  if (!frame) return Fail(L"no wizard appeared");
  HWND folderPage = PageWithControl(frame, kIdFolderBox);
  HWND optionsPage = PageWithControl(frame, kIdDemoDatabase);
  HWND downloadPage = PageWithControl(frame, kIdStatusLine);
  auto waitShown = [](HWND page) {
    return WaitUntil([&] { return IsWindowVisible(page) != 0; }, 10000);
  };

  Picture(frame, L"1_welcome");
  ClickButton(frame, kIdNext);
  if (!waitShown(folderPage)) return Fail(L"the folder page did not come");
  std::wstring folder = DlgItemText(folderPage, kIdFolderBox);
  Picture(frame, L"2_folder");
  ClickButton(frame, kIdNext);
  if (!waitShown(optionsPage)) return Fail(L"the options page did not come");
  SendMessageW(GetDlgItem(optionsPage, kIdDemoDatabase), BM_SETCHECK, BST_CHECKED, 0);
  Picture(frame, L"3_options");
  ClickButton(frame, kIdNext);
  if (!waitShown(downloadPage)) return Fail(L"the download page did not come");
  Picture(frame, L"4_download");

  HWND question = WaitForMessageBox(setup.id(), frame, 120000);
  if (!question) {
    wprintf(L"demo: %ls\n", DlgItemText(downloadPage, kIdStatusLine).c_str());
    return Fail(L"the installation did not finish");
  }
  Picture(question, L"5_finished");
  PostMessageW(question, WM_COMMAND, IDYES, 0);
  if (setup.WaitForExit(10000) < 0) return Fail(L"the setup did not end");
  wprintf(L"demo: installed into %ls\n", folder.c_str());
  return 0;
}

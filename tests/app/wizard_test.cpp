// The wizard under Wine, driven through window messages.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "app/control_ids.h"
#include "support/setup_runner.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

bool Visible(HWND window) { return window && IsWindowVisible(window); }
bool Checked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetFolder(RunningSetup& setup, const std::wstring& folder) {
  SendMessageW(GetDlgItem(setup.Page(kIdFolderBox), kIdFolderBox), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(folder.c_str()));
}

TEST(WizardIntegration, InstallModeWalksThroughTheFourPages) {
  RunningSetup setup(L"wizard_pages");
  ASSERT_TRUE(setup.Start());
  HWND frame = setup.frame();
  HWND welcome = setup.Page(-1), folder = setup.Page(kIdFolderBox),
       options = setup.Page(kIdDesktopLink), download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(folder && options && download);
  EXPECT_EQ(ChildDialogs(frame).size(), 4u);
  EXPECT_EQ(WindowText(frame), L"安装 Quelda Manager");
  EXPECT_FALSE(Visible(folder) || Visible(options) || Visible(download));
  EXPECT_TRUE(Visible(welcome));
  EXPECT_FALSE(ControlEnabled(frame, kIdBack));
  EXPECT_TRUE(ControlEnabled(frame, kIdNext));
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page1_welcome")));

  ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(Visible(folder));
  EXPECT_FALSE(Visible(welcome));
  EXPECT_TRUE(ControlEnabled(frame, kIdBack));
  EXPECT_EQ(DlgItemText(folder, kIdFolderBox), L"C:\\Quelda Manager\\");
  std::wstring target = MakeScratchDir(L"wizard_pages_target") + L"\\Quelda";
  SetFolder(setup, target);
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page2_folder")));

  ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(Visible(options));
  EXPECT_TRUE(FileExists(target));  // the folder test created it
  for (int id : {kIdDesktopLink, kIdProgramsLink, kIdQuickLaunchLink, kIdStartupLink})
    EXPECT_TRUE(Checked(options, id)) << id;
  EXPECT_FALSE(Checked(options, kIdDemoDatabase));
  // Windows 7 or later: quick launch stays checked but cannot be changed.
  EXPECT_FALSE(ControlEnabled(options, kIdQuickLaunchLink));
  EXPECT_TRUE(ControlEnabled(options, kIdDesktopLink));
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page3_options")));

  ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(Visible(download));
  EXPECT_FALSE(ControlEnabled(frame, kIdNext));
  EXPECT_TRUE(ControlEnabled(frame, kIdBack));

  ASSERT_TRUE(ClickButton(frame, kIdBack));
  ASSERT_TRUE(Visible(options));
  EXPECT_FALSE(Visible(download));
  EXPECT_TRUE(ControlEnabled(frame, kIdNext));
  ASSERT_TRUE(ClickButton(frame, kIdBack));
  ASSERT_TRUE(ClickButton(frame, kIdBack));
  ASSERT_TRUE(Visible(welcome));
  ASSERT_TRUE(ClickButton(frame, kIdBack));  // stays on the first page
  EXPECT_TRUE(Visible(welcome));
  EXPECT_FALSE(ControlEnabled(frame, kIdBack));
  EXPECT_EQ(setup.Close(), 0);
}

TEST(WizardIntegration, FolderThatCannotBeWrittenKeepsThePageWithABalloonTip) {
  RunningSetup setup(L"wizard_folder_test");
  ASSERT_TRUE(setup.Start());
  HWND folder = setup.Page(kIdFolderBox);
  ASSERT_TRUE(ClickButton(setup.frame(), kIdNext));
  ASSERT_TRUE(Visible(folder));
  // A last component with a dot is taken for a file name: only its parent
  // is created, and the access test of the whole then fails.
  std::wstring base = MakeScratchDir(L"wizard_folder_target");
  SetFolder(setup, base + L"\\Apps\\Tools.2");
  ASSERT_TRUE(ClickButton(setup.frame(), kIdNext));
  // (Wine's edit control shows no balloon tip, so only the page is checked.)
  EXPECT_TRUE(Visible(folder));
  EXPECT_FALSE(Visible(setup.Page(kIdDesktopLink)));
  EXPECT_TRUE(FileExists(base + L"\\Apps"));
  EXPECT_FALSE(FileExists(base + L"\\Apps\\Tools.2"));

  // A text longer than a path may be is refused whole: no cut part of it is
  // created and taken instead.
  std::wstring longer = base + L"\\" + std::wstring(300, L'x');
  SetFolder(setup, longer);
  ASSERT_TRUE(ClickButton(setup.frame(), kIdNext));
  EXPECT_TRUE(Visible(folder));
  EXPECT_FALSE(FileExists(longer.substr(0, 259)));

  SetFolder(setup, base + L"\\Apps\\Tools");
  ASSERT_TRUE(ClickButton(setup.frame(), kIdNext));
  EXPECT_TRUE(Visible(setup.Page(kIdDesktopLink)));
  EXPECT_EQ(setup.Close(), 0);
}

TEST(WizardIntegration, AFailureShowsRetryAndCancelThenClosesWithoutAQuestion) {
  // No update server answers the default build here: the download fails.
  RunningSetup setup(L"wizard_failure");
  ASSERT_TRUE(setup.Start());
  HWND frame = setup.frame(), download = setup.Page(kIdStatusLine);
  HWND retry = GetDlgItem(download, kIdRetry);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(retry); }, 30000));
  EXPECT_EQ(DlgItemText(download, kIdStatusLine),
            L"下载 “https://localhost/zaradizazavor/download/zirorov.zip” 失败！");
  EXPECT_FALSE(StyleVisible(GetDlgItem(download, kIdProgressBar)));  // no bar without progress

  SetFolder(setup, MakeScratchDir(L"wizard_failure_target"));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(Visible(download));
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page4_download_failed")));

  // Retry runs the whole sequence again, which fails the same way. Seen
  // from outside, the new failure looks like the old one, and Cancel asks
  // while the new run still works: such a question is declined and Cancel
  // pressed again, until one closes the wizard without asking.
  ASSERT_TRUE(ClickButton(download, kIdRetry));
  for (int questions = 0;; ++questions) {
    ASSERT_LT(questions, 100) << "every Cancel asked";
    ASSERT_TRUE(WaitUntil([&] { return StyleVisible(retry); }, 30000));
    PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
    HWND box = nullptr;
    ASSERT_TRUE(WaitUntil(
        [&] {
          box = FindMessageBox(setup.process().id(), frame);
          return box || !setup.process().Running();
        },
        30000));
    if (!box) break;
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 30000));
  }
  EXPECT_EQ(setup.process().WaitForExit(30000), 0);
}

}  // namespace

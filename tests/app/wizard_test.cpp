// The wizard under Wine, driven through window messages.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/setup_runner.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

constexpr int kBack = 1002, kNext = 1003;

bool Visible(HWND window) { return window && IsWindowVisible(window); }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
bool Checked(HWND dialog, int id) {
  return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Waits until the page is the one on show.
bool OnPage(HWND page) {
  return WaitUntil([&] { return Visible(page); }, 5000);
}

void SetFolder(RunningSetup& setup, const std::wstring& folder) {
  SendMessageW(GetDlgItem(setup.Page(1004), 1004), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(folder.c_str()));
}

TEST(WizardIntegration, InstallModeWalksThroughTheFourPages) {
  RunningSetup setup(L"wizard_pages");
  ASSERT_TRUE(setup.Start());
  HWND frame = setup.frame();
  HWND welcome = setup.Page(-1), folder = setup.Page(1004), options = setup.Page(1007),
       download = setup.Page(1000);
  ASSERT_TRUE(folder && options && download);
  EXPECT_EQ(ChildDialogs(frame).size(), 4u);
  EXPECT_EQ(WindowText(frame), L"安装 Quelda Manager");
  EXPECT_FALSE(Visible(folder) || Visible(options) || Visible(download));
  EXPECT_TRUE(Visible(welcome));
  EXPECT_FALSE(Enabled(frame, kBack));
  EXPECT_TRUE(Enabled(frame, kNext));
  Sleep(300);  // let the banner and the page paint before the picture
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page1_welcome")));

  ClickButton(frame, kNext);
  ASSERT_TRUE(OnPage(folder));
  EXPECT_FALSE(Visible(welcome));
  EXPECT_TRUE(Enabled(frame, kBack));
  EXPECT_EQ(DlgItemText(folder, 1004), L"C:\\Quelda Manager\\");
  std::wstring target = MakeScratchDir(L"wizard_pages_target") + L"\\Quelda";
  SetFolder(setup, target);
  Sleep(300);
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page2_folder")));

  ClickButton(frame, kNext);
  ASSERT_TRUE(OnPage(options));
  EXPECT_TRUE(FileExists(target));  // the folder test created it
  for (int id : {1007, 1008, 1009, 1010}) EXPECT_TRUE(Checked(options, id)) << id;
  EXPECT_FALSE(Checked(options, 1006));
  // Windows 7 or later: quick launch stays checked but cannot be changed.
  EXPECT_FALSE(Enabled(options, 1009));
  EXPECT_TRUE(Enabled(options, 1007));
  Sleep(300);
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page3_options")));

  ClickButton(frame, kNext);
  ASSERT_TRUE(OnPage(download));
  EXPECT_TRUE(WaitUntil([&] { return !Enabled(frame, kNext); }, 5000));
  EXPECT_TRUE(Enabled(frame, kBack));

  ClickButton(frame, kBack);
  ASSERT_TRUE(OnPage(options));
  EXPECT_FALSE(Visible(download));
  EXPECT_TRUE(Enabled(frame, kNext));
  ClickButton(frame, kBack);
  ClickButton(frame, kBack);
  ASSERT_TRUE(OnPage(welcome));
  ClickButton(frame, kBack);  // stays on the first page
  Sleep(200);
  EXPECT_TRUE(Visible(welcome));
  EXPECT_FALSE(Enabled(frame, kBack));
  EXPECT_EQ(setup.Close(), 0);
}

TEST(WizardIntegration, FolderThatCannotBeWrittenKeepsThePageWithABalloonTip) {
  RunningSetup setup(L"wizard_folder_test");
  ASSERT_TRUE(setup.Start());
  HWND folder = setup.Page(1004);
  ClickButton(setup.frame(), kNext);
  ASSERT_TRUE(OnPage(folder));
  // A last component with a dot is taken for a file name: only its parent
  // is created, and the access test of the whole then fails.
  std::wstring base = MakeScratchDir(L"wizard_folder_target");
  SetFolder(setup, base + L"\\Apps\\Tools.2");
  ClickButton(setup.frame(), kNext);
  // (Wine's edit control shows no balloon tip, so only the page is checked.)
  EXPECT_TRUE(WaitUntil([&] { return FileExists(base + L"\\Apps"); }, 5000));
  Sleep(300);
  EXPECT_TRUE(Visible(folder));
  EXPECT_FALSE(Visible(setup.Page(1007)));
  EXPECT_TRUE(FileExists(base + L"\\Apps"));
  EXPECT_FALSE(FileExists(base + L"\\Apps\\Tools.2"));

  SetFolder(setup, base + L"\\Apps\\Tools");
  ClickButton(setup.frame(), kNext);
  EXPECT_TRUE(OnPage(setup.Page(1007)));
  EXPECT_EQ(setup.Close(), 0);
}

TEST(WizardIntegration, UpdateModeOpensOnTheDownloadPage) {
  RunningSetup setup(L"wizard_update", /*withApplication=*/true);
  ASSERT_TRUE(setup.Start());
  EXPECT_EQ(WindowText(setup.frame()), L"更新 Quelda Manager");
  EXPECT_TRUE(Visible(setup.Page(1000)));
  EXPECT_FALSE(Visible(setup.Page(1004)));
  EXPECT_FALSE(Visible(setup.Page(1007)));
  EXPECT_FALSE(Visible(GetDlgItem(setup.frame(), kNext)));
  EXPECT_FALSE(Visible(GetDlgItem(setup.frame(), kBack)));
  // The folder box holds the setup's own folder with its backslash.
  EXPECT_EQ(DlgItemText(setup.Page(1004), 1004), setup.folder() + L"\\");
  setup.process().Kill();
}

}  // namespace

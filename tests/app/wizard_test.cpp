// The wizard under Wine, driven through window messages.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "support/clock.h"
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

// The window's rectangle in the client coordinates of another.
RECT RectIn(HWND parent, HWND window) {
  RECT rect;
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool Inside(const RECT& inner, const RECT& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  return children;
}

void ExpectApart(HWND parent, const std::vector<HWND>& windows) {
  for (size_t i = 0; i < windows.size(); ++i) {
    for (size_t j = i + 1; j < windows.size(); ++j) {
      RECT a = RectIn(parent, windows[i]), b = RectIn(parent, windows[j]), both;
      EXPECT_FALSE(IntersectRect(&both, &a, &b))
          << GetDlgCtrlID(windows[i]) << " and " << GetDlgCtrlID(windows[j]) << " overlap";
    }
  }
}

// Whether the banner, as the screen shows it, fills the frame's width down
// to `bottom` and no further: blue above, the page's grey below, at both
// edges and in the middle.
bool BannerEndsAt(HWND frame, int bottom) {
  std::string picture = CaptureWindow(frame);
  if (picture.empty()) return false;
  RECT outer, client;
  GetWindowRect(frame, &outer);
  GetClientRect(frame, &client);
  POINT origin = {0, 0};
  ClientToScreen(frame, &origin);
  int width = outer.right - outer.left, height = outer.bottom - outer.top;
  size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  auto blue = [&](int x, int y) {  // in client coordinates; the rows run bottom-up
    size_t row = static_cast<size_t>(height - 1 - (origin.y - outer.top + y));
    size_t at = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + row * stride +
                static_cast<size_t>(origin.x - outer.left + x) * 3;
    auto b = static_cast<unsigned char>(picture[at]),
         r = static_cast<unsigned char>(picture[at + 2]);
    return b > r + 40;
  };
  for (int x : {1, static_cast<int>(client.right / 2), static_cast<int>(client.right - 2)}) {
    if (!blue(x, 0) || !blue(x, bottom - 1) || blue(x, bottom)) return false;
  }
  return true;
}

// At whatever DPI the screen has: the banner fills the frame's width down to
// where the pages begin; every page spans the frame's width between the
// banner and the line above the buttons; no control is cut off by its page
// or the frame, and none covers another.
void ExpectLaidOut(HWND frame) {
  RECT client;
  GetClientRect(frame, &client);
  int bannerBottom = MulDiv(117, client.right, 658);  // the 1x picture's height at that width
  std::vector<HWND> pages = ChildDialogs(frame), own;
  for (HWND child : Children(frame)) {
    if (std::find(pages.begin(), pages.end(), child) == pages.end()) own.push_back(child);
  }
  ASSERT_EQ(pages.size(), 4u);
  ASSERT_EQ(own.size(), 4u);  // Back, Next, Cancel and the line
  for (int id : {kIdBack, kIdNext, kIdCancel})
    EXPECT_TRUE(Inside(RectIn(frame, GetDlgItem(frame, id)), client)) << id;
  ExpectApart(frame, own);
  LONG ownTop = client.bottom;
  for (HWND control : own) ownTop = std::min(ownTop, RectIn(frame, control).top);
  for (HWND page : pages) {
    RECT rect = RectIn(frame, page), inPage;
    EXPECT_EQ(rect.top, bannerBottom);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.right, client.right);
    EXPECT_LE(rect.bottom, ownTop) << "a page reaches over the line and the buttons";
    GetClientRect(page, &inPage);
    for (HWND control : Children(page))
      EXPECT_TRUE(Inside(RectIn(page, control), inPage)) << GetDlgCtrlID(control) << " cut off";
    ExpectApart(page, Children(page));
  }
  EXPECT_TRUE(WaitUntil([&] { return BannerEndsAt(frame, bannerBottom); }, kPatience));
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
  // The prefix's DPI (QUELDA_DPI) is the one the wizard is laid out for.
  const char* dpi = getenv("QUELDA_DPI");
  EXPECT_EQ(ScreenDpi(), dpi ? atoi(dpi) : 96);
  ExpectLaidOut(frame);
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

#include "apply/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <string>

#include "app/control_ids.h"
#include "support/link_probe.h"
#include "support/test_paths.h"

namespace {

constexpr int kDesktop = kDesktopBox, kPrograms = kProgramsBox, kQuickLaunch = kQuickLaunchBox,
              kStartup = kStartupBox;

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    folder_ = MakeScratchDir(L"shortcuts");
    ASSERT_FALSE(LinkPath(kQuickLaunch).empty());
    ResetShortcuts();
  }
  void TearDown() override { CoUninitialize(); }
  void Check(std::initializer_list<int> boxes) {
    choices_ = ShortcutChoices();
    for (int box : boxes) {
      bool* chosen[] = {&choices_.desktop, &choices_.programs, &choices_.startup,
                        &choices_.quickLaunch};
      const int order[] = {kDesktop, kPrograms, kStartup, kQuickLaunch};
      for (int i = 0; i < 4; ++i) {
        if (order[i] == box) *chosen[i] = true;
      }
    }
  }
  void Create(const std::wstring& folder) {
    CreateShortcuts(choices_, (folder + L"\\Quelda.exe").c_str());
  }
  void Create() { Create(folder_); }

  ShortcutChoices choices_;
  std::wstring folder_;
};

TEST_F(ShortcutsTest, CheckedBoxesGetLinksToTheApplication) {
  Check({kDesktop, kPrograms, kStartup, kQuickLaunch});
  Create();
  for (int box : {kDesktop, kPrograms, kStartup, kQuickLaunch}) {
    std::wstring path = LinkPath(box);
    EXPECT_NE(path.find(L"\\Quelda Manager.lnk"), std::wstring::npos);
    Link link;
    ASSERT_TRUE(LoadLink(path, &link)) << box;
    EXPECT_EQ(link.target, folder_ + L"\\Quelda.exe") << box;
    EXPECT_EQ(link.description, L"\\Quelda Manager.lnk") << box;
  }
}

TEST_F(ShortcutsTest, UncheckedBoxesLoseTheirLinks) {
  Check({kDesktop, kPrograms, kStartup, kQuickLaunch});
  Create();
  Check({kStartup});
  Create();
  EXPECT_TRUE(FileExists(LinkPath(kStartup)));
  EXPECT_FALSE(FileExists(LinkPath(kDesktop)));
  EXPECT_FALSE(FileExists(LinkPath(kPrograms)));
  EXPECT_FALSE(FileExists(LinkPath(kQuickLaunch)));
  Check({});
  Create();
  for (int box : {kDesktop, kPrograms, kStartup, kQuickLaunch}) {
    EXPECT_FALSE(FileExists(LinkPath(box))) << box;
  }
}

TEST_F(ShortcutsTest, RunningAgainRewritesTheSameFiles) {
  Check({kDesktop});
  Create();
  std::wstring other = MakeScratchDir(L"shortcuts_other");
  Create(other);
  Link link;
  ASSERT_TRUE(LoadLink(LinkPath(kDesktop), &link));
  EXPECT_EQ(link.target, other + L"\\Quelda.exe");
  // One shortcut of that name in the folder, no second beside it.
  std::wstring desktop = LinkPath(kDesktop);
  std::wstring pattern = desktop.substr(0, desktop.find_last_of(L'\\')) + L"\\Quelda Manager*";
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  int count = 1;
  while (FindNextFileW(search, &found)) ++count;
  FindClose(search);
  EXPECT_EQ(count, 1);
}

}  // namespace

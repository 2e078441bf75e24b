#include "install/shortcuts.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <gtest/gtest.h>

#include <string>

#include "app/shell_places.h"
#include "support/fake_wizard.h"
#include "support/test_paths.h"

namespace {

constexpr int kDesktop = 1007, kPrograms = 1008, kQuickLaunch = 1009, kStartup = 1010;

std::wstring LinkPath(int box) {
  switch (box) {
    case kDesktop:
      return ShellLinkPath(CSIDL_DESKTOP).c_str();
    case kPrograms:
      return ShellLinkPath(CSIDL_PROGRAMS).c_str();
    case kStartup:
      return ShellLinkPath(CSIDL_STARTUP).c_str();
    default:
      return QuickLaunchLinkPath().c_str();
  }
}

struct Link {
  std::wstring target, description;
};

// Loads a shortcut back through the shell's own link object.
bool LoadLink(const std::wstring& path, Link* link) {
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink)))) {
    return false;
  }
  IPersistFile* file = nullptr;
  bool ok =
      SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(path.c_str(), STGM_READ));
  wchar_t text[MAX_PATH] = {};
  if (ok) ok = SUCCEEDED(shellLink->GetPath(text, MAX_PATH, nullptr, 0));
  link->target = text;
  wchar_t description[MAX_PATH] = {};
  if (ok) ok = SUCCEEDED(shellLink->GetDescription(description, MAX_PATH));
  link->description = description;
  if (file) file->Release();
  shellLink->Release();
  return ok;
}

class ShortcutsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    folder_ = MakeScratchDir(L"shortcuts");
    wizard_.SetFolder(folder_);
    // The Quick Launch folder exists where Internet Explorer has run.
    std::wstring quickLaunch = LinkPath(kQuickLaunch);
    ASSERT_FALSE(quickLaunch.empty());
    std::wstring dir = quickLaunch.substr(0, quickLaunch.find_last_of(L'\\'));
    SHCreateDirectoryExW(nullptr, dir.c_str(), nullptr);
    for (int box : {kDesktop, kPrograms, kStartup, kQuickLaunch})
      DeleteFileW(LinkPath(box).c_str());
  }
  void TearDown() override { CoUninitialize(); }
  void Check(std::initializer_list<int> boxes) {
    for (int box : {kDesktop, kPrograms, kStartup, kQuickLaunch, 1006})
      wizard_.SetChecked(box, false);
    for (int box : boxes) wizard_.SetChecked(box, true);
  }

  FakeWizard wizard_;
  std::wstring folder_;
};

TEST_F(ShortcutsTest, CheckedBoxesGetLinksToTheApplication) {
  Check({kDesktop, kPrograms, kStartup, kQuickLaunch});
  CreateShortcuts();
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
  CreateShortcuts();
  Check({kStartup});
  CreateShortcuts();
  EXPECT_TRUE(FileExists(LinkPath(kStartup)));
  EXPECT_FALSE(FileExists(LinkPath(kDesktop)));
  EXPECT_FALSE(FileExists(LinkPath(kPrograms)));
  EXPECT_FALSE(FileExists(LinkPath(kQuickLaunch)));
  Check({});
  CreateShortcuts();
  for (int box : {kDesktop, kPrograms, kStartup, kQuickLaunch}) {
    EXPECT_FALSE(FileExists(LinkPath(box))) << box;
  }
}

TEST_F(ShortcutsTest, RunningAgainRewritesTheSameFiles) {
  Check({kDesktop});
  CreateShortcuts();
  std::wstring other = MakeScratchDir(L"shortcuts_other");
  wizard_.SetFolder(other + L"\\");
  CreateShortcuts();
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

#include "install/close_app.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

struct App {
  explicit App(const wchar_t* name) {
    dir = MakeScratchDir(name);
    exe = dir + L"\\Quelda.exe";
    EXPECT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), exe));
  }
  bool Start() {
    return process.Start(exe) && WaitForProcessWindow(process.id(), L"QueldaTestApp", 30000);
  }
  std::string Log() const { return ReadFileBytes(dir + L"\\Quelda.log"); }
  std::wstring dir, exe;
  ChildProcess process;
};

TEST(CloseRunningAppIntegration, TheFirstAnsweredRequestIsTheLast) {
  App app(L"close_first");
  ASSERT_TRUE(app.Start());
  CloseRunningApp(app.exe.c_str());
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(app.Log(), "started\r\nclose 3\r\n");
}

TEST(CloseRunningAppIntegration, RequestsFollowEachOtherUntilOneIsAnswered) {
  App app(L"close_last");
  ASSERT_TRUE(WriteFileBytes(app.dir + L"\\close_answer.txt", "close"));
  ASSERT_TRUE(app.Start());
  CloseRunningApp(app.exe.c_str());
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(
      app.Log(),
      "started\r\nignored 3\r\nignored escape\r\nignored 2\r\nignored e300\r\nclose close\r\n");
}

TEST(CloseRunningAppIntegration, ACopyStartedFromAnotherFolderIsLeftAlone) {
  App ours(L"close_ours"), other(L"close_other");
  ASSERT_TRUE(ours.Start());
  ASSERT_TRUE(other.Start());
  // Letter case does not matter; the folder does.
  std::wstring upper = ours.exe;
  for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
  CloseRunningApp(upper.c_str());
  EXPECT_EQ(ours.process.WaitForExit(10000), 0);
  Sleep(300);
  EXPECT_TRUE(other.process.Running());
  EXPECT_EQ(other.Log(), "started\r\n");
}

}  // namespace

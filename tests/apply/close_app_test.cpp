#include "apply/close_app.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/clock.h"
#include "support/test_app_run.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

TEST(CloseRunningAppIntegration, TheFirstAnsweredRequestIsTheLast) {
  TestAppRun app(L"close_first", L"1.2.3.0");
  ASSERT_TRUE(app.Start());
  CloseRunningApp(app.exe.c_str());
  EXPECT_EQ(app.process.WaitForExit(kPatience), 0);
  EXPECT_EQ(app.Log(), "started\r\nclose 3\r\n");
}

TEST(CloseRunningAppIntegration, RequestsFollowEachOtherUntilOneIsAnswered) {
  TestAppRun app(L"close_last", L"1.2.3.0");
  ASSERT_TRUE(WriteFileBytes(app.dir + L"\\close_answer.txt", "close"));
  ASSERT_TRUE(app.Start());
  CloseRunningApp(app.exe.c_str());
  EXPECT_EQ(app.process.WaitForExit(kPatience), 0);
  EXPECT_EQ(
      app.Log(),
      "started\r\nignored 3\r\nignored escape\r\nignored 2\r\nignored e300\r\nclose close\r\n");
}

TEST(CloseRunningAppIntegration, AHungApplicationDoesNotStallTheInstallation) {
  TestAppRun app(L"close_hung", L"1.2.3.0");
  ASSERT_TRUE(WriteFileBytes(app.dir + L"\\close_answer.txt", "hang"));
  ASSERT_TRUE(app.Start());
  DWORD start = GetTickCount();
  CloseRunningApp(app.exe.c_str());
  EXPECT_LT(GetTickCount() - start, 20000u) << "the call came back";
  EXPECT_EQ(app.Log(), "started\r\nhang\r\n") << "one request, then no more";
  EXPECT_TRUE(app.process.Running());
}

TEST(CloseRunningAppIntegration, ACopyStartedFromAnotherFolderIsLeftAlone) {
  TestAppRun ours(L"close_ours", L"1.2.3.0"), other(L"close_other", L"1.2.3.0");
  ASSERT_TRUE(ours.Start());
  ASSERT_TRUE(other.Start());
  // Letter case does not matter; the folder does.
  std::wstring upper = ours.exe;
  for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
  CloseRunningApp(upper.c_str());
  EXPECT_EQ(ours.process.WaitForExit(kPatience), 0);
  Sleep(300);
  EXPECT_TRUE(other.process.Running());
  EXPECT_EQ(other.Log(), "started\r\n");
}

}  // namespace

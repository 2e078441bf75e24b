// The stand-in Quelda.exe that later tests install, close and start.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/clock.h"
#include "support/test_app_run.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

HWND Window(TestAppRun& app) { return FindProcessWindow(app.process.id(), L"QueldaTestApp"); }

TEST(TestApplicationIntegration, RecordsItsStartAndTheFirstCloseRequest) {
  TestAppRun app(L"test_app_close", L"2.0.0.0");
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.Log(), "started\r\n");
  EXPECT_NE(SendMessageW(Window(app), WM_COMMAND, 3, 0), 0);
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(app.Log(), "started\r\nclose 3\r\n");
}

TEST(TestApplicationIntegration, HonoursOnlyTheNamedRequest) {
  TestAppRun app(L"test_app_answer", L"2.0.0.0");
  ASSERT_TRUE(WriteFileBytes(app.dir + L"\\close_answer.txt", "e300\r\n"));
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(SendMessageW(Window(app), WM_COMMAND, 3, 0), 0);
  EXPECT_EQ(SendMessageW(Window(app), WM_KEYDOWN, VK_ESCAPE, 0), 0);
  EXPECT_EQ(SendMessageW(Window(app), WM_COMMAND, IDCANCEL, 0), 0);
  EXPECT_TRUE(app.process.Running());
  EXPECT_NE(SendMessageW(Window(app), WM_COMMAND, 0xE300, 0), 0);
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(app.Log(), "started\r\nignored 3\r\nignored escape\r\nignored 2\r\nclose e300\r\n");
}

TEST(TestApplicationIntegration, CloseHoldKeepsTheProcessUntilTheFileGoes) {
  TestAppRun app(L"test_app_hold", L"2.0.0.0");
  const std::wstring hold = app.dir + L"\\close_hold.txt";
  ASSERT_TRUE(WriteFileBytes(hold, ""));
  ASSERT_TRUE(app.Start());
  HWND window = Window(app);
  EXPECT_NE(SendMessageW(window, WM_COMMAND, 3, 0), 0) << "the request is honoured at once";
  EXPECT_FALSE(IsWindow(window));
  EXPECT_LT(app.process.WaitForExit(500), 0) << "held";
  ASSERT_TRUE(DeleteFileW(hold.c_str()));
  EXPECT_EQ(app.process.WaitForExit(kPatience), 0);
  EXPECT_EQ(app.Log(), "started\r\nclose 3\r\n");
}

}  // namespace

// The stand-in Quelda.exe that later tests install, close and start.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "support/process.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

struct TestApp {
  explicit TestApp(const wchar_t* name) {
    dir = MakeScratchDir(name);
    exe = dir + L"\\Quelda.exe";
    EXPECT_TRUE(CopyFileTo(TestAppPath(L"2.0.0.0"), exe));
  }
  bool Start() {
    if (!process.Start(exe)) return false;
    window = WaitForProcessWindow(process.id(), L"QueldaTestApp", 30000);
    return window != nullptr;
  }
  std::string Log() const { return ReadFileBytes(dir + L"\\Quelda.log"); }

  std::wstring dir, exe;
  ChildProcess process;
  HWND window = nullptr;
};

TEST(TestApplicationIntegration, RecordsItsStartAndTheFirstCloseRequest) {
  TestApp app(L"test_app_close");
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(app.Log(), "started\r\n");
  EXPECT_NE(SendMessageW(app.window, WM_COMMAND, 3, 0), 0);
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(app.Log(), "started\r\nclose 3\r\n");
}

TEST(TestApplicationIntegration, HonoursOnlyTheNamedRequest) {
  TestApp app(L"test_app_answer");
  ASSERT_TRUE(WriteFileBytes(app.dir + L"\\close_answer.txt", "e300\r\n"));
  ASSERT_TRUE(app.Start());
  EXPECT_EQ(SendMessageW(app.window, WM_COMMAND, 3, 0), 0);
  EXPECT_EQ(SendMessageW(app.window, WM_KEYDOWN, VK_ESCAPE, 0), 0);
  EXPECT_EQ(SendMessageW(app.window, WM_COMMAND, IDCANCEL, 0), 0);
  EXPECT_TRUE(app.process.Running());
  EXPECT_NE(SendMessageW(app.window, WM_COMMAND, 0xE300, 0), 0);
  EXPECT_EQ(app.process.WaitForExit(10000), 0);
  EXPECT_EQ(app.Log(), "started\r\nignored 3\r\nignored escape\r\nignored 2\r\nclose e300\r\n");
}

}  // namespace

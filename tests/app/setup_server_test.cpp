// The whole setup under Wine against the stand-in update server, driven
// through window messages.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <objbase.h>
#include <psapi.h>

#include <string>

#include "common/update_server.h"
#include "app/control_ids.h"
#include "fetch/http_request.h"
#include "report/status_report.h"
#include "support/clock.h"
#include "support/link_probe.h"
#include "support/server_control.h"
#include "support/setup_runner.h"
#include "support/test_app_run.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

std::string Narrow(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
  return out;
}

bool StartsWith(const std::wstring& text, const std::wstring& start) {
  return text.compare(0, start.size(), start) == 0;
}

class SetupServerIntegration : public ServerTest {
 protected:
  static std::wstring Status(RunningSetup& setup) {
    return DlgItemText(setup.Page(kIdStatusLine), kIdStatusLine);
  }
  static bool WaitForStatus(RunningSetup& setup, const std::wstring& start,
                            DWORD timeout = kPatience) {
    return WaitUntil([&] { return StartsWith(Status(setup), start); }, timeout);
  }
  // Cancel, the question, and its text; nullptr when no question came.
  static HWND AskToClose(RunningSetup& setup, std::wstring* text) {
    PostMessageW(setup.frame(), WM_COMMAND, IDCANCEL, 0);
    HWND box = WaitForMessageBox(setup.process().id(), setup.frame(), kPatience);
    if (box && text) *text = DlgItemText(box, 0xFFFF);
    return box;
  }
};

TEST_F(SetupServerIntegration, RetryComesWithAFailureAndGoesWithTheNextRun) {
  ASSERT_TRUE(ServerSet(L"fault=chunked"));
  RunningSetup setup(L"setup_retry");
  ASSERT_TRUE(setup.Start());
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  EXPECT_EQ(Status(setup), std::wstring(L"下载 “") + kPackageUrl + L"” 失败 (200/0)！");

  // The next run is held in its version check until it has been seen.
  ASSERT_TRUE(ServerSet(L"fault=hold&delay=60&only=quelda.xml"));
  ASSERT_TRUE(ClickButton(download, kIdRetry));
  EXPECT_TRUE(WaitUntil([&] { return !StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  EXPECT_EQ(Status(setup), L"正在检查 Quelda Manager 最新版本 ...");
  ASSERT_TRUE(ServerRelease());
  ASSERT_TRUE(WaitForStatus(setup, L"已下载 Quelda Manager 1.2.3.4 ..."));
  EXPECT_FALSE(StyleVisible(GetDlgItem(download, kIdRetry)));
  HWND bar = GetDlgItem(download, kIdProgressBar);
  EXPECT_TRUE(StyleVisible(bar)) << "message 8 shows the bar";
  // Full, also for a package of less than one step.
  LRESULT full = SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
  EXPECT_GT(full, 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), full);

  // Working: Cancel asks, and Cancel in the question keeps the wizard.
  std::wstring question;
  HWND box = AskToClose(setup, &question);
  ASSERT_TRUE(box);
  EXPECT_EQ(question, L"正在安装 Quelda Manager，确定要退出吗？");
  EXPECT_EQ(WindowText(box), L"安装 Quelda Manager");
  // As on Chinese Windows (the tests run under zh_CN.UTF-8).
  EXPECT_EQ(ControlText(GetDlgItem(box, IDOK)), L"确定");
  EXPECT_EQ(ControlText(GetDlgItem(box, IDCANCEL)), L"取消");
  PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kPatience));
  EXPECT_LT(setup.process().WaitForExit(500), 0) << "the wizard stays";
  EXPECT_EQ(setup.Close(), 0);
}

TEST_F(SetupServerIntegration, DamagedPackageIsAFailureWithRetry) {
  ASSERT_TRUE(ServerServe(L"damaged"));
  RunningSetup setup(L"setup_damaged");
  ASSERT_TRUE(setup.Start());
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  EXPECT_EQ(Status(setup), L"下载的文件不是有效的 zip 压缩文件！");
  EXPECT_EQ(setup.Close(), 0);
}

TEST_F(SetupServerIntegration, ManifestFloodIsNoManifestAndTakesNoMemory) {
  ASSERT_TRUE(ServerSet(L"fault=flood&only=quelda.xml"));
  RunningSetup setup(L"setup_flood");
  ASSERT_TRUE(setup.Start());
  EXPECT_TRUE(WaitForStatus(setup, L"已下载 Quelda Manager 0.0 ..."));
  PROCESS_MEMORY_COUNTERS memory = {};
  ASSERT_TRUE(GetProcessMemoryInfo(setup.process().handle(), &memory, sizeof memory));
  EXPECT_LT(memory.PeakWorkingSetSize, 64u << 20);
  EXPECT_EQ(setup.Close(), 0);
}

TEST_F(SetupServerIntegration, ClosingEndsTheProcessPromptlyAtEveryStage) {
  struct Stage {
    const wchar_t* settings;
    const wchar_t* status;
  };
  const Stage stages[] = {
      {L"fault=slow&delay=60&only=quelda.xml", L"正在检查 Quelda Manager 最新版本 ..."},
      {L"fault=slow&delay=0&trickle=4096&interval=0.2&only=zirorov.zip",
       L"正在下载 Quelda Manager 1.2.3.4 ...\r\n共 39,062 KB，已下载 "},
      {L"", L"已下载 Quelda Manager 1.2.3.4 ..."},
  };
  for (const Stage& stage : stages) {
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(testing::Message() << stage.settings << " #" << i);
      ASSERT_TRUE(ServerReset());
      ASSERT_TRUE(ServerServe(L"big", stage.settings));
      RunningSetup setup(L"setup_close");
      ASSERT_TRUE(setup.Start());
      ASSERT_TRUE(WaitForStatus(setup, stage.status)) << Status(setup).c_str();
      HWND box = AskToClose(setup, nullptr);
      ASSERT_TRUE(box);
      double start = MillisecondsNow();
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      EXPECT_EQ(setup.process().WaitForExit(kPromptly), 0);
      RecordProperty("close_ms", static_cast<int>(MillisecondsNow() - start));
    }
  }
}

TEST_F(SetupServerIntegration, UpdateModeOpensOnTheDownloadPageWithItsTitle) {
  ASSERT_TRUE(ServerSet(L"fault=slow&delay=60&only=quelda.xml"));
  RunningSetup setup(L"setup_update_mode", true);
  ASSERT_TRUE(setup.Start());
  HWND frame = setup.frame(), download = setup.Page(kIdStatusLine);
  EXPECT_EQ(WindowText(frame), L"更新 Quelda Manager");
  EXPECT_TRUE(IsWindowVisible(download));
  for (int id : {kIdFolderBox, kIdDesktopLink}) EXPECT_FALSE(IsWindowVisible(setup.Page(id))) << id;
  EXPECT_FALSE(StyleVisible(GetDlgItem(frame, kIdBack)));
  EXPECT_FALSE(StyleVisible(GetDlgItem(frame, kIdNext)));
  EXPECT_TRUE(WaitForStatus(setup, L"正在检查 Quelda Manager 最新版本 ..."));
  // The install folder is the setup's own.
  EXPECT_EQ(DlgItemText(setup.Page(kIdFolderBox), kIdFolderBox), setup.folder() + L"\\");

  std::wstring question;
  HWND box = AskToClose(setup, &question);
  ASSERT_TRUE(box);
  EXPECT_EQ(question, L"正在更新 Quelda Manager，确定要退出吗？");
  EXPECT_EQ(WindowText(box), L"更新 Quelda Manager");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  EXPECT_EQ(setup.process().WaitForExit(kPromptly), 0);
}

TEST_F(SetupServerIntegration, DownloadPageShowsTheBarDuringTheDownload) {
  ASSERT_TRUE(
      ServerServe(L"big", L"fault=slow&delay=0&trickle=65536&interval=0.05&only=zirorov.zip"));
  RunningSetup setup(L"setup_downloading");
  ASSERT_TRUE(setup.Start());
  HWND frame = setup.frame(), download = setup.Page(kIdStatusLine);
  SendMessageW(GetDlgItem(setup.Page(kIdFolderBox), kIdFolderBox), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(MakeScratchDir(L"setup_downloading_target").c_str()));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(IsWindowVisible(download));
  HWND bar = GetDlgItem(download, kIdProgressBar);
  ASSERT_TRUE(WaitUntil([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > 200; }, kPatience));
  EXPECT_TRUE(StyleVisible(bar));
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 3255);
  EXPECT_TRUE(
      StartsWith(Status(setup), L"正在下载 Quelda Manager 1.2.3.4 ...\r\n共 39,062 KB，已下载 "));
  LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return SendMessageW(bar, PBM_GETPOS, 0, 0) > position; }, kPatience));
  EXPECT_TRUE(SaveWindowPicture(frame, ScreenshotPath(L"page4_downloading")));
  EXPECT_EQ(setup.Close(), 0);
}

TEST_F(SetupServerIntegration, FinishQuestionStartsTheApplicationOnlyOnYes) {
  ASSERT_TRUE(ServerServe(L"app"));
  // The folder the wizard offers first, which these users never choose.
  const std::wstring offered = L"C:\\Quelda Manager";
  RemoveTree(offered);
  ASSERT_FALSE(FileExists(offered));
  for (WPARAM answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDYES ? "yes" : "no");
    RunningSetup setup(L"setup_finish");
    ASSERT_TRUE(setup.Start());
    // The download has begun when the user chooses the folder.
    ASSERT_TRUE(WaitUntil([&] { return !Status(setup).empty(); }, kPatience));
    HWND frame = setup.frame(), options = setup.Page(kIdDesktopLink);
    std::wstring target = MakeScratchDir(L"setup_finish_target");
    SendMessageW(GetDlgItem(setup.Page(kIdFolderBox), kIdFolderBox), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(target.c_str()));
    // No shortcuts into the prefix from here; the worker tests check them.
    for (int box : kShortcutBoxes)
      SendMessageW(GetDlgItem(options, box), BM_SETCHECK, BST_UNCHECKED, 0);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickButton(frame, kIdNext));
    HWND box = WaitForMessageBox(setup.process().id(), frame, kPatience);
    ASSERT_TRUE(box);
    EXPECT_EQ(DlgItemText(box, 0xFFFF), L"Quelda Manager 已安装完成！\r\n\r\n是否立即启动？");
    EXPECT_EQ(WindowText(box), L"安装 Quelda Manager");
    EXPECT_FALSE(ControlEnabled(frame, kIdBack));
    EXPECT_FALSE(ControlEnabled(frame, kIdNext));
    if (answer == IDYES) {
      EXPECT_TRUE(SaveWindowPicture(box, ScreenshotPath(L"finish_question")));
    }
    PostMessageW(box, WM_COMMAND, answer, 0);
    EXPECT_EQ(setup.process().WaitForExit(kPatience), 0);
    EXPECT_TRUE(FileExists(target + L"\\Quelda.exe"));
    EXPECT_TRUE(ReadFileBytes(target + L"\\download\\Quelda2.0.zip") ==
                ReadFileBytes(TestSite(L"app") + L"\\zirorov.zip"));
    EXPECT_FALSE(FileExists(offered)) << "nothing in a folder the user did not choose";
    if (answer == IDYES) {
      EXPECT_TRUE(WaitUntil(
          [&] { return ReadFileBytes(target + L"\\Quelda.log") == "started\r\n"; }, kPatience))
          << ReadFileBytes(target + L"\\Quelda.log");
      KillProcessesUnder(target);
    } else {
      Sleep(500);
      EXPECT_FALSE(FileExists(target + L"\\Quelda.log")) << "nothing was started";
    }
  }
}

TEST_F(SetupServerIntegration, UpdateFromTheInstalledFolderEndsByStartingTheApplication) {
  ASSERT_TRUE(ServerServe(L"app"));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ResetShortcuts();
  // Only the desktop shortcut was there: only it is kept.
  ASSERT_TRUE(WriteFileBytes(LinkPath(kDesktopBox), "an older shortcut"));

  RunningSetup setup(L"setup_update", true);
  const std::wstring& folder = setup.folder();
  std::string oldApp = ReadFileBytes(folder + L"\\Quelda.exe");
  ASSERT_TRUE(WriteFileBytes(folder + L"\\readme.txt", "old readme"));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\keep.txt", "not in the package"));
  ChildProcess installed;
  ASSERT_TRUE(installed.Start(folder + L"\\Quelda.exe"));
  ASSERT_TRUE(WaitForProcessWindow(installed.id(), L"QueldaTestApp", 30000));
  TestAppRun elsewhere(L"setup_update_other", L"1.2.3.0");
  ASSERT_TRUE(elsewhere.Start());

  // No page but the download page, no question: the setup ends by itself.
  ASSERT_TRUE(setup.process().Start(setup.exe()));
  EXPECT_EQ(setup.process().WaitForExit(60000), 0);
  EXPECT_EQ(FindMessageBox(setup.process().id(), nullptr), nullptr);

  std::wstring backup = folder + L"\\Update\\Backup1.2.3";
  EXPECT_TRUE(ReadFileBytes(backup + L"\\Quelda.exe") == oldApp);
  EXPECT_EQ(ReadFileBytes(backup + L"\\readme.txt"), "old readme");
  EXPECT_EQ(ReadFileBytes(folder + L"\\readme.txt"), "Quelda Manager 2.0\r\n");
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.exe") == ReadFileBytes(TestAppPath(L"2.0.0.0")));
  EXPECT_EQ(ReadFileBytes(folder + L"\\keep.txt"), "not in the package");
  EXPECT_TRUE(FileExists(folder + L"\\QueldaSetup.exe"));

  // The old copy was asked to close, the new one started.
  EXPECT_EQ(installed.WaitForExit(kPatience), 0);
  EXPECT_TRUE(WaitUntil(
      [&] {
        return ReadFileBytes(folder + L"\\Quelda.log") == "started\r\nclose 3\r\nstarted\r\n";
      },
      kPatience))
      << ReadFileBytes(folder + L"\\Quelda.log");
  EXPECT_LT(elsewhere.process.WaitForExit(0), 0) << "a copy from another folder runs on";
  EXPECT_EQ(elsewhere.Log(), "started\r\n");

  Link link;
  EXPECT_TRUE(LoadLink(LinkPath(kDesktopBox), &link));
  EXPECT_EQ(link.target, folder + L"\\Quelda.exe");
  for (int box : {kProgramsBox, kStartupBox, kQuickLaunchBox})
    EXPECT_FALSE(FileExists(LinkPath(box))) << box;
  ResetShortcuts();
  CoUninitialize();
}

}  // namespace

namespace {

// Back pressed once the worker has taken the go-ahead (it is fetching the
// demo database the user asked for, which the server holds): refused, the
// wizard stays on the download page, and what is installed is what was
// chosen.
TEST_F(SetupServerIntegration, BackAfterTheGoAheadIsRefused) {
  ASSERT_TRUE(ServerServe(L"app", L"fault=hold&delay=60&only=quelda.mdb"));
  RunningSetup setup(L"setup_back");
  ASSERT_TRUE(setup.Start());
  ASSERT_TRUE(WaitForStatus(setup, L"已下载 Quelda Manager 2.0 ..."));
  HWND frame = setup.frame(), options = setup.Page(kIdDesktopLink);
  HWND download = setup.Page(kIdStatusLine);
  std::wstring target = MakeScratchDir(L"setup_back_target");
  SendMessageW(GetDlgItem(setup.Page(kIdFolderBox), kIdFolderBox), WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(target.c_str()));
  for (int box : kShortcutBoxes)
    SendMessageW(GetDlgItem(options, box), BM_SETCHECK, BST_UNCHECKED, 0);
  SendMessageW(GetDlgItem(options, kIdDemoDatabase), BM_SETCHECK, BST_CHECKED, 0);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(ClickButton(frame, kIdNext));
  ASSERT_TRUE(WaitForStatus(setup, L"正在下载 Quelda Manager 演示数据库 ..."));

  // Sent straight to the frame, as a click that came before the button was
  // disabled would arrive.
  ASSERT_TRUE(ClickButton(frame, kIdBack));
  EXPECT_TRUE(StyleVisible(download)) << "the download page stays";
  EXPECT_FALSE(StyleVisible(options));
  EXPECT_TRUE(WaitUntil([&] { return !ControlEnabled(frame, kIdBack); }, kPatience));
  EXPECT_FALSE(ControlEnabled(frame, kIdNext));

  ASSERT_TRUE(ServerRelease());
  HWND box = WaitForMessageBox(setup.process().id(), frame, kPatience);
  ASSERT_TRUE(box);
  PostMessageW(box, WM_COMMAND, IDNO, 0);
  EXPECT_EQ(setup.process().WaitForExit(kPatience), 0);
  EXPECT_TRUE(FileExists(target + L"\\Quelda.exe"));
  EXPECT_TRUE(ReadFileBytes(target + L"\\Quelda.mdb") ==
              ReadFileBytes(TestSite(L"app") + L"\\quelda.mdb"))
      << "the demo database the user chose";
}

// Debian's squid as a school's proxy that asks for a password
// (tools/squid/with_squid, user "school"): the system's prompt shows,
// owned by the wizard, once; what it is given reaches the proxy, and a
// prompt that is cancelled ends in a failure that names the refusal.
class SetupProxyServerIntegration : public SetupServerIntegration {
 protected:
  // The prompt's name and password boxes filled in and its button pressed.
  static void Answer(HWND prompt, const wchar_t* user, const wchar_t* password, int button) {
    int edits = 0;
    for (HWND child = GetWindow(prompt, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      wchar_t name[16] = {};
      GetClassNameW(child, name, 16);
      if (_wcsicmp(name, L"Edit") != 0) continue;
      SendMessageW(child, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(edits++ ? password : user));
    }
    EXPECT_EQ(edits, 2) << "a name and a password box";
    PostMessageW(prompt, WM_COMMAND, button, 0);
  }
};

TEST_F(SetupProxyServerIntegration, ProxyPasswordIsAskedForOnceAndARefusalIsNamed) {
  StandInProxy proxy(L"127.0.0.1:3128");
  ASSERT_TRUE(proxy.set());
  {
    RunningSetup setup(L"setup_proxy_answered");
    ASSERT_TRUE(setup.Start());
    HWND prompt = WaitForMessageBox(setup.process().id(), setup.frame(), kPatience);
    ASSERT_TRUE(prompt);
    EXPECT_EQ(GetWindow(prompt, GW_OWNER), setup.frame()) << "owned by the wizard";
    // Answered after the manifest's 15 s limit: the limit does not run
    // while the user answers, so the manifest is still read.
    Sleep(kManifestTimeLimitMs + 1000);
    Answer(prompt, L"school", L"quelda-proxy-pw", IDOK);
    // The manifest and the package come through the proxy's tunnel.
    ASSERT_TRUE(WaitForStatus(setup, L"已下载 Quelda Manager 1.2.3.4 ...")) << Narrow(Status(setup));
    EXPECT_EQ(setup.Close(), 0);
  }
  RunningSetup setup(L"setup_proxy_cancelled");
  ASSERT_TRUE(setup.Start());
  HWND prompt = WaitForMessageBox(setup.process().id(), setup.frame(), kPatience);
  ASSERT_TRUE(prompt);
  Answer(prompt, L"", L"", IDCANCEL);
  // Not asked again for the package: it fails naming the proxy's refusal.
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  std::wstring status = Status(setup);
  EXPECT_TRUE(StartsWith(status, std::wstring(L"下载 “") + kPackageUrl + L"” 失败 (407/"))
      << Narrow(status);
  EXPECT_NE(status.find(kProxyRefused), std::wstring::npos) << Narrow(status);
  EXPECT_EQ(setup.Close(), 0);
}

}  // namespace

// Starts the real setup under Wine and drives it from outside.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "app/single_instance.h"
#include "app/control_ids.h"
#include "support/clock.h"
#include "support/process.h"
#include "support/setup_runner.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

std::wstring KeyOf(const std::wstring& path) {
  std::wstring lower = path;
  LowerAsciiInPlace(&lower[0]);
  return MakeInstanceKey(WStr(lower.c_str())).c_str();
}

std::wstring UpperAscii(std::wstring s) {
  for (auto& c : s) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return s;
}

TEST(SingleInstanceIntegration, SecondStartBringsTheFirstBackAndExits) {
  RunningSetup first(L"instance_twice");
  ASSERT_TRUE(first.Start());
  ShowWindow(first.frame(), SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return IsIconic(first.frame()) != 0; }, kPatience));

  ChildProcess second;
  ASSERT_TRUE(second.Start(first.exe()));
  EXPECT_EQ(second.WaitForExit(kPatience), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(first.frame()) && IsWindowVisible(first.frame()); },
                        kPatience));
  EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == first.frame(); }, kPatience));
  EXPECT_TRUE(first.process().Running());
  // The second start opened no wizard of its own.
  EXPECT_EQ(FindProcessWindow(second.id(), L"#32770", false), nullptr);
  EXPECT_EQ(first.Close(), 0);
}

TEST(SingleInstanceIntegration, AHungFirstStartDoesNotHoldUpTheSecond) {
  // A program of the setup's name that stops answering at the query.
  std::wstring folder = MakeScratchDir(L"single_hung");
  std::wstring exe = folder + L"\\QueldaSetup.exe";
  ASSERT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), exe));
  ASSERT_TRUE(WriteFileBytes(folder + L"\\close_answer.txt", "hang"));
  ChildProcess first;
  ASSERT_TRUE(first.Start(exe));
  ASSERT_TRUE(WaitForProcessWindow(first.id(), L"QueldaTestApp", 30000));
  DWORD start = GetTickCount();
  EnumWindows(ActivateRunningSetup, reinterpret_cast<LPARAM>(exe.c_str()));
  EXPECT_LT(GetTickCount() - start, 20000u);
  EXPECT_EQ(ReadFileBytes(folder + L"\\Quelda.log"), "started\r\nhang\r\n");
}

TEST(SingleInstanceIntegration, SameFileThroughADifferentlyCasedPath) {
  RunningSetup first(L"instance_case");
  ASSERT_TRUE(first.Start());
  ShowWindow(first.frame(), SW_MINIMIZE);
  ASSERT_TRUE(WaitUntil([&] { return IsIconic(first.frame()) != 0; }, kPatience));
  ChildProcess second;
  ASSERT_TRUE(second.Start(UpperAscii(first.exe())));
  EXPECT_EQ(second.WaitForExit(kPatience), 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsIconic(first.frame()); }, kPatience));
  EXPECT_EQ(first.Close(), 0);
}

TEST(SingleInstanceIntegration, CopyInAnotherFolderRunsBesideIt) {
  RunningSetup first(L"instance_copy_a");
  RunningSetup second(L"instance_copy_b");
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  EXPECT_NE(first.frame(), second.frame());
  EXPECT_TRUE(first.process().Running());
  EXPECT_TRUE(second.process().Running());
  EXPECT_EQ(first.Close(), 0);
  EXPECT_EQ(second.Close(), 0);
}

TEST(SingleInstanceIntegration, InstanceEventIsNamedByTheKeyOfTheLowerCasedPath) {
  RunningSetup setup(L"instance_event");
  std::wstring key = KeyOf(setup.exe());
  ASSERT_EQ(key.size(), 32u);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, key.c_str()), nullptr);
  ASSERT_TRUE(setup.Start());
  HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, key.c_str());
  EXPECT_NE(event, nullptr);
  // Created signalled.
  if (event) {
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(event);
  }
  // The key of the path as written, not lower-cased, is not used.
  std::wstring upperKey = MakeInstanceKey(WStr(UpperAscii(setup.exe()).c_str())).c_str();
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, upperKey.c_str()), nullptr);
  EXPECT_EQ(setup.Close(), 0);
  EXPECT_EQ(OpenEventW(SYNCHRONIZE, FALSE, key.c_str()), nullptr);
}

TEST(UpdateModeIntegration, InstallsWhenNoApplicationLiesBeside) {
  RunningSetup setup(L"mode_install");
  ASSERT_TRUE(setup.Start());
  EXPECT_EQ(WindowText(setup.frame()), L"安装 Quelda Manager");
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(setup.frame(), kIdNext)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(setup.frame(), kIdBack)));
  EXPECT_EQ(setup.Close(), 0);
}

TEST(UpdateModeIntegration, AFailedUpdateStaysOnItsFailureAndClosingStartsTheApplication) {
  // Without an update server the run fails at once. Ending the wizard then
  // would report the failure as success: it stays, with its retry button,
  // and the installed application starts only when the user closes it.
  RunningSetup setup(L"mode_update", /*withApplication=*/true);
  // An installation: the package of its version kept.
  ASSERT_TRUE(CreateDirectoryW((setup.folder() + L"\\download").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(setup.folder() + L"\\download\\Quelda1.2.3.zip", "kept"));
  ASSERT_TRUE(setup.Start());
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  std::wstring log = setup.folder() + L"\\Quelda.log";
  EXPECT_FALSE(FileExists(log)) << "nothing starts while the failure shows";
  EXPECT_LT(setup.process().WaitForExit(0), 0);
  EXPECT_EQ(setup.Close(), 0);
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(log) == "started\r\n"; }, kPatience));
}

TEST(UpdateModeIntegration, AForeignJournalIsNamedAndNeverCarriedOut) {
  // A journal of another folder whose one staged step would carry a file
  // out of this one, as the next start would finish it forward.
  RunningSetup setup(L"mode_foreign_journal", /*withApplication=*/true);
  std::wstring update = setup.folder() + L"\\Update";
  ASSERT_TRUE(CreateDirectoryW(update.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((update + L"\\Incoming").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((update + L"\\Incoming\\0").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(update + L"\\Incoming\\0\\0.new", "evil"));
  std::wstring journal =
      L"QueldaUpdateJournal 2\nfolder\tC:\\elsewhere\\\n"
      L"step\t..\\evil.txt\t\tUpdate\\Incoming\\0\\0.new\nend\nstaged\n";
  ASSERT_TRUE(WriteFileBytes(update + L"\\Update.journal",
                             std::string(reinterpret_cast<const char*>(journal.data()),
                                         journal.size() * sizeof(wchar_t))));
  ASSERT_TRUE(setup.process().Start(setup.exe()));
  HWND box = WaitForMessageBox(setup.process().id(), nullptr, kPatience);
  ASSERT_TRUE(box);
  std::wstring text = DlgItemText(box, 0xFFFF);
  EXPECT_NE(text.find(L"Update\\Update.journal"), std::wstring::npos) << text.size();
  EXPECT_NE(text.find(L"未予执行"), std::wstring::npos);
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  // Then the wizard opens as the updater it is, and nothing has moved.
  ASSERT_TRUE(WaitUntil(
      [&] {
        HWND frame = FindProcessWindow(setup.process().id(), L"#32770");
        return frame && PageWithControl(frame, kIdStatusLine);
      },
      kPatience));
  EXPECT_EQ(ReadFileBytes(update + L"\\Incoming\\0\\0.new"), "evil");
  EXPECT_TRUE(FileExists(update + L"\\Update.journal"));
  EXPECT_FALSE(FileExists(setup.folder() + L"\\..\\evil.txt"));
}

TEST(UpdateModeIntegration, NoDllBesideTheSetupIsLoaded) {
  // Downloads holding DLLs under the names of the setup's imports that are
  // no known system DLLs, with native DLLs preferred as Windows prefers
  // them: the setup runs as the updater (banner, manifest request, version
  // of Quelda.exe) to its failure without loading one of them. Not
  // version.dll under Wine: Wine's own advapi32 imports it, and Wine
  // resolves a system DLL's imports from the program's folder too, which
  // Windows does not do for its known DLLs.
  const wchar_t* names[] = {L"version", L"wininet", L"gdiplus", L"bcrypt"};
  const wchar_t* checked[] = {L"wininet", L"gdiplus", L"bcrypt"};
  RunningSetup setup(L"mode_dll_markers", /*withApplication=*/true);
  for (const wchar_t* name : names) {
    ASSERT_TRUE(CopyFileTo(BuildDir() + L"\\markers\\" + name + L".dll",
                           setup.folder() + L"\\" + name + L".dll"));
  }
  ASSERT_TRUE(CopyFileTo(BuildDir() + L"\\markers\\marker_control.exe",
                         setup.folder() + L"\\marker_control.exe"));
  // Wine's own setting per program (a child takes no WINEDLLOVERRIDES from
  // its parent's environment); Windows itself needs none.
  for (const wchar_t* program : {L"QueldaSetup.exe", L"marker_control.exe"}) {
    std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + program +
                       L"\\DllOverrides";
    HKEY overrides = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &overrides, nullptr),
              ERROR_SUCCESS);
    bool setup = wcscmp(program, L"QueldaSetup.exe") == 0;
    for (const wchar_t* name : names) {
      if (setup && wcscmp(name, L"version") == 0) continue;
      RegSetValueExW(overrides, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"native,builtin"),
                     sizeof(L"native,builtin"));
    }
    RegCloseKey(overrides);
  }
  struct Undo {
    ~Undo() {
      RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\QueldaSetup.exe");
      RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\marker_control.exe");
    }
  } undo;
  ASSERT_TRUE(setup.Start());
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  EXPECT_EQ(setup.Close(), 0);
  for (const wchar_t* name : checked) {
    EXPECT_FALSE(FileExists(setup.folder() + L"\\" + name + L".dll.loaded")) << name;
  }
  // The control imports them the ordinary way: there they do load.
  ChildProcess control;
  ASSERT_TRUE(control.Start(setup.folder() + L"\\marker_control.exe", L""));
  EXPECT_EQ(control.WaitForExit(kPatience), 0);
  for (const wchar_t* name : names) {
    EXPECT_TRUE(FileExists(setup.folder() + L"\\" + name + L".dll.loaded")) << name;
  }
}

TEST(UpdateModeIntegration, AStrayApplicationIsNotStartedAfterAFailure) {
  // A Quelda.exe that a web page saved into Downloads, beside the setup:
  // the failed update leaves nothing to go on with, and nothing starts.
  RunningSetup setup(L"mode_stray", /*withApplication=*/true);
  ASSERT_TRUE(setup.Start());
  HWND download = setup.Page(kIdStatusLine);
  ASSERT_TRUE(WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience));
  EXPECT_EQ(setup.Close(), 0);
  // A program the setup started exists once the setup has ended.
  EXPECT_EQ(KillProcessesUnder(setup.folder()), 0);
  EXPECT_FALSE(FileExists(setup.folder() + L"\\Quelda.log"));
}

}  // namespace

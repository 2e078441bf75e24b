// The setup in update mode against the stand-in server, where the update
// meets trouble from outside: a file another program holds, a drive that
// another writer fills, the setup's own process ended, a manifest that the
// vendor did not sign. Each leaves either 1.2.3.0 exactly as it was or 2.0
// whole, with the originals backed up.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "app/control_ids.h"
#include "common/scoped.h"
#include "common/error_text.h"
#include "apply/taken_serial.h"
#include "report/status_report.h"
#include "common/update_server.h"
#include "support/clock.h"
#include "support/old_installation.h"
#include "support/server_control.h"
#include "support/setup_runner.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& start) {
  return text.compare(0, start.size(), start) == 0;
}
bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}
std::string Narrow(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
  return out;
}
std::wstring LastName(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }

// The system's text for an error as the setup words a failure's reason.
std::wstring ReasonText(DWORD error) {
  SetLastError(error);
  WStr text = LastErrorText();
  return std::wstring(text.c_str(), text.size());
}

std::wstring Status(const RunningSetup& setup) {
  return DlgItemText(setup.Page(kIdStatusLine), kIdStatusLine);
}
// A failed run's final state: its retry button.
bool WaitForRetry(const RunningSetup& setup) {
  HWND download = setup.Page(kIdStatusLine);
  return WaitUntil([&] { return StyleVisible(GetDlgItem(download, kIdRetry)); }, kPatience);
}

// Nothing changed but what the stand-in application writes beside itself.
Tree Installation(const std::wstring& folder) {
  Tree tree = Snapshot(folder);
  tree.erase(L"\\Quelda.log");
  tree.erase(L"\\close_hold.txt");
  return tree;
}

// The update from 1.2.3.0 made whole, whatever happened on the way: every
// item of 2.0 in place, the originals in Update\Backup1.2.3\ byte for byte
// with their attributes and times, the user's files as they were, and
// nothing else (a second update, over 2.0, may have filled Backup2.0\).
// Then the setup has started Quelda.exe 2.0.
void ExpectUpdated(const std::wstring& folder, const Tree& before) {
  const std::wstring expected = TestSite(L"fault_expected");
  const std::wstring backup = L"\\Update\\Backup1.2.3\\";
  Tree now = Snapshot(folder);
  std::set<std::wstring> accounted = {L"\\QueldaSetup.exe", L"\\Quelda.log", L"\\Update\\", backup};
  for (const std::wstring& path : ListTree(expected)) {
    accounted.insert(path);
    SCOPED_TRACE(Narrow(path));
    if (path.back() == L'\\') {
      EXPECT_EQ(now[path], "folder");
    } else {
      EXPECT_TRUE(FileExists(folder + path));
      EXPECT_TRUE(ReadFileBytes(folder + path) == ReadFileBytes(expected + path));
    }
  }
  for (const wchar_t* original : kReplacedByUpdate) {
    std::wstring saved = backup + LastName(original);
    accounted.insert(saved);
    EXPECT_TRUE(now[saved] == before.at(original)) << Narrow(saved);
  }
  for (const wchar_t* kept : {L"\\keep.txt", L"\\data\\old_only.txt", L"\\Quelda.mdb"}) {
    accounted.insert(kept);
    EXPECT_TRUE(now[kept] == before.at(kept)) << Narrow(kept);
  }
  for (const auto& entry : now) {
    if (StartsWith(entry.first, L"\\Update\\Backup2.0\\")) continue;
    EXPECT_TRUE(accounted.count(entry.first)) << "left over: " << Narrow(entry.first);
  }
  EXPECT_FALSE(FileExists(folder + L"\\Update.part"));
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.exe") == ReadFileBytes(TestAppPath(L"2.0.0.0")));
  EXPECT_TRUE(WaitUntil([&] { return ReadFileBytes(folder + L"\\Quelda.log") == "started\r\n"; },
                        kPatience))
      << ReadFileBytes(folder + L"\\Quelda.log");
}

class SetupUpdateFaultServerIntegration : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ServerServe(L"fault"));
  }
};

TEST_F(SetupUpdateFaultServerIntegration, FileHeldByAnotherProgramFailsTheRunUntilItIsLetGo) {
  RunningSetup setup(L"update_held", true);
  const std::wstring& folder = setup.folder();
  MakeOldInstallation(folder);
  const Tree before = Installation(folder);
  const std::wstring held = folder + L"\\data\\a.txt";
  // This test's process is the other program: no sharing at all.
  ScopedHandle holder(
      CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.valid());

  ASSERT_TRUE(setup.Start());
  ASSERT_TRUE(WaitForRetry(setup)) << Narrow(Status(setup));
  std::wstring status = Status(setup);
  EXPECT_TRUE(StartsWith(status, L"备份 “" + held + L"” 至 “" + folder +
                                     L"\\Update\\Backup1.2.3\\” 失败！\r\n" +
                                     ReasonText(ERROR_SHARING_VIOLATION) + L"\r\n"))
      << Narrow(status);
  EXPECT_TRUE(EndsWith(status, kInstallationIntact)) << Narrow(status);
  EXPECT_TRUE(setup.process().Running()) << "the wizard stays on its failure";

  holder.Reset();
  const Tree after = Installation(folder);
  EXPECT_TRUE(after == before) << Differences(before, after);

  // Let go, the retry makes the update, and the setup ends by itself.
  ASSERT_TRUE(ClickButton(setup.Page(kIdStatusLine), kIdRetry));
  EXPECT_EQ(setup.process().WaitForExit(kPatience), 0) << Narrow(Status(setup));
  ExpectUpdated(folder, before);
}

TEST_F(SetupUpdateFaultServerIntegration, SetupEndedAnywhereInTheUpdateFinishesItWhenStartedAgain) {
  // Where the first run is ended: at the first sign of each stage, or after
  // the run when it was faster than the look; the last is never ended.
  struct Stage {
    const char* name;
    bool (*reached)(const std::wstring& folder);
  };
  const Stage stages[] = {
      {"the journal",
       [](const std::wstring& f) {
         return FileExists(f + L"\\Update.part") || FileExists(f + L"\\Update\\Update.journal");
       }},
      {"the extraction",
       [](const std::wstring& f) { return ListTree(f + L"\\Update\\Incoming").size() >= 10; }},
      {"the switch",
       [](const std::wstring& f) { return FileExists(f + L"\\Update\\Backup1.2.3\\a.txt"); }},
      {"its end", [](const std::wstring&) { return false; }},
  };
  for (const Stage& stage : stages) {
    SCOPED_TRACE(stage.name);
    RunningSetup setup(L"update_ended", true);
    const std::wstring& folder = setup.folder();
    MakeOldInstallation(folder);
    const Tree before = Installation(folder);

    ASSERT_TRUE(setup.process().Start(setup.exe()));
    DWORD start = GetTickCount();
    bool seen = false;
    while (!(seen = stage.reached(folder)) && setup.process().Running() &&
           GetTickCount() - start < kPatience) {
      Sleep(1);
    }
    // Whatever the moment, as a power cut or the task manager would; with
    // a 2.0 that a finished run started.
    setup.process().Kill();
    KillProcessesUnder(folder);
    printf("ended at %s: %s, journal %s, %zu staged\n", stage.name,
           seen ? "seen" : "not seen, the run had ended",
           FileExists(folder + L"\\Update\\Update.journal") ? "left" : "none",
           ListTree(folder + L"\\Update\\Incoming").size());
    DeleteFileW((folder + L"\\Quelda.log").c_str());

    ChildProcess again;
    ASSERT_TRUE(again.Start(setup.exe()));
    EXPECT_EQ(again.WaitForExit(kPatience), 0);
    ExpectUpdated(folder, before);
  }
}

// The setup as a vendor builds it with two keys (the tests' first and
// second), updating 1.2.3.0 with what each of them signed.
TEST_F(SetupUpdateFaultServerIntegration, KeyedSetupTakesWhatItsKeysSignedAndNothingElse) {
  RunningSetup setup(L"update_signed", true, L"", KeyedSetupExePath());
  const std::wstring& folder = setup.folder();
  MakeOldInstallation(folder);
  const Tree before = Installation(folder);

  // One byte of the signed manifest changed: refused, with the retry button.
  ASSERT_TRUE(ServerServe(L"signed_changed"));
  ASSERT_TRUE(setup.Start());
  ASSERT_TRUE(WaitForRetry(setup)) << Narrow(Status(setup));
  EXPECT_EQ(Status(setup), std::wstring(L"无法验证 “") + kManifestUrl +
                               L"” 是否来自发布者，已拒绝安装！\r\n" + kSignatureForeign);
  const Tree after = Installation(folder);
  EXPECT_TRUE(after == before) << Differences(before, after);

  // The first key's publication, on Retry; then the second's, run again.
  ASSERT_TRUE(ServerServe(L"signed_first"));
  ASSERT_TRUE(ClickButton(setup.Page(kIdStatusLine), kIdRetry));
  EXPECT_EQ(setup.process().WaitForExit(kPatience), 0) << Narrow(Status(setup));
  KillProcessesUnder(folder);
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.exe") == ReadFileBytes(TestAppPath(L"2.0.0.0")));
  EXPECT_EQ(ReadFileBytes(folder + L"\\" + kSerialPath), "1000\n");

  ASSERT_TRUE(ServerServe(L"signed_second"));
  ChildProcess again;
  ASSERT_TRUE(again.Start(setup.exe()));
  EXPECT_EQ(again.WaitForExit(kPatience), 0);
  KillProcessesUnder(folder);
  EXPECT_TRUE(ReadFileBytes(folder + L"\\whatsnew.txt") ==
              ReadFileBytes(TestSite(L"signed_second_app") + L"\\whatsnew.txt"));
  EXPECT_EQ(ReadFileBytes(folder + L"\\" + kSerialPath), "2000\n");
}

// A drive of a few MB (tests/support/harness small-drive-start), which the
// test fills while the setup waits for the application to close: after the
// room check, before the extraction.
class SetupSmallDriveServerIntegration : public SetupUpdateFaultServerIntegration {};

// Fills the drive with a file of the test's own until only `leave` bytes
// are free (in the drive's pages).
bool FillDrive(const std::wstring& file, ULONGLONG leave) {
  ScopedHandle out(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out) return false;
  // The folder: a file's path is no drive's.
  const std::wstring folder = file.substr(0, file.rfind(L'\\') + 1);
  std::string block(1 << 20, 'x');
  for (;;) {
    ULARGE_INTEGER free = {};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &free, nullptr, nullptr)) return false;
    if (free.QuadPart <= leave) return true;
    DWORD size = static_cast<DWORD>(std::min<ULONGLONG>(block.size(), free.QuadPart - leave));
    DWORD written = 0;
    if (!WriteFile(out.get(), block.data(), size, &written, nullptr) || written != size) {
      return false;
    }
  }
}

TEST_F(SetupSmallDriveServerIntegration, DriveFilledDuringTheUpdateLeavesTheInstallationAsItWas) {
  ASSERT_TRUE(FileExists(L"Q:\\")) << "drive Q: is made by the small_drive fixture";
  const std::wstring filler = L"Q:\\filler.bin";
  DeleteFileW(filler.c_str());
  RunningSetup setup(L"update_full", true, L"Q:");
  const std::wstring& folder = setup.folder();
  MakeOldInstallation(folder);
  // Running, and held in its exit once asked to close.
  const std::wstring hold = folder + L"\\close_hold.txt";
  ASSERT_TRUE(WriteFileBytes(hold, ""));
  ChildProcess application;
  ASSERT_TRUE(application.Start(folder + L"\\Quelda.exe"));
  ASSERT_TRUE(WaitForProcessWindow(application.id(), L"QueldaTestApp", kPatience));
  const Tree before = Installation(folder);

  ASSERT_TRUE(setup.Start());
  // The request comes after the room check, and the setup's wait for the
  // application's end holds it there.
  ASSERT_TRUE(
      WaitUntil([&] { return ReadFileBytes(folder + L"\\Quelda.log") == "started\r\nclose 3\r\n"; },
                kPatience))
      << ReadFileBytes(folder + L"\\Quelda.log");
  // Room for the journal, not for the 280 KB of new files. The setup waits
  // up to 10 s for the application to end, far longer than this takes;
  // with no journal begun yet, what follows is no race.
  ASSERT_TRUE(FillDrive(filler, 32 * 1024));
  ASSERT_FALSE(FileExists(folder + L"\\Update.part")) << "filled before the setup went on";
  ASSERT_FALSE(FileExists(folder + L"\\Update"));
  ASSERT_TRUE(DeleteFileW(hold.c_str()));
  EXPECT_EQ(application.WaitForExit(kPatience), 0);

  ASSERT_TRUE(WaitForRetry(setup)) << Narrow(Status(setup));
  std::wstring status = Status(setup);
  EXPECT_TRUE(StartsWith(status, L"解压 “")) << Narrow(status);
  EXPECT_TRUE(EndsWith(
      status, L"” 失败！\r\n" + ReasonText(ERROR_DISK_FULL) + L"\r\n" + kInstallationIntact))
      << Narrow(status);
  // The item it was writing: one of the package's files.
  size_t open = status.find(L"“") + 1, close = status.find(L"”");
  std::wstring item = status.substr(open, close - open);
  for (wchar_t& c : item) {
    if (c == L'/') c = L'\\';
  }
  EXPECT_TRUE(FileExists(TestSite(L"fault_expected") + L"\\" + item)) << Narrow(item);

  const Tree after = Installation(folder);
  EXPECT_TRUE(after == before) << Differences(before, after);
  EXPECT_FALSE(FileExists(folder + L"\\Update.part"));
  EXPECT_TRUE(DeleteFileW(filler.c_str()));
  EXPECT_EQ(setup.Close(), 0);
  KillProcessesUnder(folder);
  RemoveTree(folder);
}

}  // namespace

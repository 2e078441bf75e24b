// Whole installations and updates by the install worker against the
// stand-in update server: the package, the backup, the demo database, the
// shortcuts and every failure after the go-ahead.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "support/clock.h"
#include "support/link_probe.h"
#include "common/update_server.h"
#include "support/server_control.h"
#include "support/test_app_run.h"
#include "support/test_paths.h"
#include "support/window_finder.h"
#include "support/worker_run.h"

namespace {

using Numbers = std::vector<int>;

// Every file of the expected tree is in the folder with the same bytes.
void ExpectTreeIn(const std::wstring& expected, const std::wstring& folder) {
  std::vector<std::wstring> files = ListTree(expected);
  ASSERT_FALSE(files.empty());
  for (const std::wstring& file : files) {
    EXPECT_TRUE(ReadFileBytes(folder + file) == ReadFileBytes(expected + file))
        << std::string(file.begin(), file.end());
  }
}

void WriteText(const std::wstring& path, const std::string& text) {
  SHCreateDirectoryExW(nullptr, path.substr(0, path.find_last_of(L'\\')).c_str(), nullptr);
  ASSERT_TRUE(WriteFileBytes(path, text)) << std::string(path.begin(), path.end());
}

// An installation of 1.2.3.0 as an update finds it.
void MakeOldInstallation(const std::wstring& folder) {
  ASSERT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), folder + L"\\Quelda.exe"));
  WriteText(folder + L"\\readme.txt", "old readme");
  WriteText(folder + L"\\data\\sample.txt", "old sample");
  WriteText(folder + L"\\data\\old_only.txt", "only in 1.2.3");
  CreateDirectoryW((folder + L"\\lib").c_str(), nullptr);
  WriteText(folder + L"\\lib\\a\\config.ini", "old a");
  WriteText(folder + L"\\lib\\b\\config.ini", "old b");
  WriteText(folder + L"\\keep.txt", "not in the package");
}

bool Ended(const WorkerReport& r) { return r.kind != kStatusWorking; }

class InstallServerIntegration : public ServerTest {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ServerServe(L"app"));
    ResetShortcuts();
    // The options as the wizard opens them in install mode.
    InstallChoices& choices = run_.choices();
    choices.desktopLink = choices.programsLink = choices.startupLink = choices.quickLaunchLink =
        true;
    choices.demoDatabase = false;
  }
  void TearDown() override {
    run_.Stop();
    ServerTest::TearDown();
    ResetShortcuts();
    CoUninitialize();
  }
  // A run given the go-ahead from the start, to its end.
  std::vector<WorkerReport> Install(const std::wstring& folder) {
    run_.Start(folder);
    run_.Proceed();
    EXPECT_TRUE(run_.WaitForReport(Ended));
    EXPECT_TRUE(run_.WaitForEnd());
    return run_.reports();
  }

  WorkerRun run_;
};

TEST_F(InstallServerIntegration, FirstInstallationExtractsEverythingAndBacksUpNothing) {
  std::wstring folder = MakeScratchDir(L"install_first");
  const auto& r = Install(folder);
  EXPECT_EQ(MessageSequence(r),
            (Numbers{kChecking, kDownloading, kDownloaded, kUnpacking, kFinished}));
  EXPECT_EQ(r.back().text, L"已完成。");
  EXPECT_EQ(r.back().kind, kStatusFinished);
  ExpectTreeIn(TestSite(L"app_expected"), folder);
  EXPECT_FALSE(FileExists(folder + L"\\Update")) << "nothing to back up";
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.mdb"));
  EXPECT_TRUE(ReadFileBytes(folder + L"\\download\\Quelda2.0.zip") ==
              ReadFileBytes(TestSite(L"app") + L"\\zirorov.zip"));
  for (int box : kShortcutBoxes) {
    Link link;
    ASSERT_TRUE(LoadLink(LinkPath(box), &link)) << box;
    EXPECT_EQ(link.target, folder + L"\\Quelda.exe") << box;
    EXPECT_EQ(link.description, L"\\Quelda Manager.lnk") << box;
  }
}

TEST_F(InstallServerIntegration, PackageThatBsdtarWroteInstallsAsItsToolMeantIt) {
  // Its items are "./", "./Quelda.exe", "./data/", "./data/sample.txt", ...
  ASSERT_TRUE(ServerServe(L"bsdtar"));
  std::wstring folder = MakeScratchDir(L"install_bsdtar");
  MakeOldInstallation(folder);
  auto r = Install(folder);
  ASSERT_EQ(r.back().kind, kStatusFinished) << r.back().text.c_str();
  ExpectTreeIn(TestSite(L"app_expected"), folder);
  EXPECT_EQ(ReadFileBytes(folder + L"\\Update\\Backup1.2.3\\readme.txt"), "old readme");
  EXPECT_EQ(ReadFileBytes(folder + L"\\keep.txt"), "not in the package");
}

TEST_F(InstallServerIntegration, UpdateMovesWhatThePackageReplacesIntoTheBackup) {
  std::wstring folder = MakeScratchDir(L"install_update");
  MakeOldInstallation(folder);
  std::string oldApp = ReadFileBytes(folder + L"\\Quelda.exe");
  // The running copy takes a second to end after it is asked to close.
  WriteText(folder + L"\\close_delay.txt", "");
  ChildProcess installed;
  ASSERT_TRUE(installed.Start(folder + L"\\Quelda.exe"));
  ASSERT_TRUE(WaitForProcessWindow(installed.id(), L"QueldaTestApp", 30000));
  TestAppRun elsewhere(L"install_update_other", L"1.2.3.0");
  ASSERT_TRUE(elsewhere.Start());

  const auto& r = Install(folder);
  ASSERT_EQ(r.back().kind, kStatusFinished) << r.back().text.c_str();
  ExpectTreeIn(TestSite(L"app_expected"), folder);
  std::wstring backup = folder + L"\\Update\\Backup1.2.3";
  EXPECT_TRUE(ReadFileBytes(backup + L"\\Quelda.exe") == oldApp);
  EXPECT_EQ(ReadFileBytes(backup + L"\\readme.txt"), "old readme");
  // A folder item moves nothing: only the files it holds are backed up.
  EXPECT_EQ(ReadFileBytes(backup + L"\\sample.txt"), "old sample");
  EXPECT_FALSE(FileExists(backup + L"\\data"));
  EXPECT_EQ(ReadFileBytes(folder + L"\\data\\old_only.txt"), "only in 1.2.3");
  // Backups land under their last name; the second config.ini (lib/a in
  // the package's order) beside the first, under a number.
  EXPECT_EQ(ReadFileBytes(backup + L"\\config.ini"), "old b");
  EXPECT_EQ(ReadFileBytes(backup + L"\\config.1.ini"), "old a");
  EXPECT_EQ(ReadFileBytes(folder + L"\\keep.txt"), "not in the package");

  EXPECT_EQ(installed.WaitForExit(kPatience), 0) << "the running copy was asked to close";
  // Nothing was moved before it had ended.
  EXPECT_EQ(ReadFileBytes(folder + L"\\Quelda.log"), "started\r\nclose 3\r\nexit in place\r\n");
  EXPECT_LT(elsewhere.process.WaitForExit(0), 0) << "a copy from another folder runs on";
  EXPECT_EQ(elsewhere.Log().find("close"), std::string::npos);
}

TEST_F(InstallServerIntegration, DemoDatabaseOnlyWhenAskedFor) {
  std::wstring folder = MakeScratchDir(L"install_database");
  WriteText(folder + L"\\Quelda.mdb", "the user's own data");
  Install(folder);
  EXPECT_EQ(MessageSequence(run_.reports()),
            (Numbers{kChecking, kDownloading, kDownloaded, kUnpacking, kFinished}));
  EXPECT_EQ(ReadFileBytes(folder + L"\\Quelda.mdb"), "the user's own data");

  // Cut short: the run fails, saying so, and the user's database stays.
  run_.choices().demoDatabase = true;
  ASSERT_TRUE(ServerSet(L"fault=short&at=20000&only=quelda.mdb"));
  EXPECT_EQ(Install(folder).back().arguments,
            (std::vector<std::wstring>{kDatabaseUrl, kBodyCutShort, kInstallationIntact}));
  EXPECT_EQ(ReadFileBytes(folder + L"\\Quelda.mdb"), "the user's own data");
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.mdb.download"));

  ASSERT_TRUE(ServerSet(L"fault=none"));
  const auto& r = Install(folder);
  EXPECT_EQ(MessageSequence(r), (Numbers{kChecking, kDownloading, kDownloaded, kDatabaseDownloading,
                                         kDatabaseStep, kUnpacking, kFinished}));
  size_t steps = 0;
  for (const WorkerReport& report : r) {
    if (MessageNumber(report) != kDatabaseStep) continue;
    ++steps;
    EXPECT_EQ(report.progress, 1u);
  }
  EXPECT_EQ(steps, 65556u / 12288u);
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.mdb") ==
              ReadFileBytes(TestSite(L"app") + L"\\quelda.mdb"));
  // The database it replaced went where the update keeps what it replaces.
  EXPECT_EQ(ReadFileBytes(folder + L"\\Update\\Backup2.0\\Quelda.mdb"), "the user's own data");
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.mdb.download"));
}

TEST_F(InstallServerIntegration, DatabaseFailuresInstallNothingAndFreeThePackage) {
  run_.choices().demoDatabase = true;
  ASSERT_TRUE(ServerSet(L"fault=chunked&only=quelda.mdb"));
  std::wstring folder = MakeScratchDir(L"install_database_fails");
  const auto& r = Install(folder);
  EXPECT_EQ(MessageSequence(r),
            (Numbers{kChecking, kDownloading, kDownloaded, kDatabaseDownloading, kNoLength}));
  // Past the go-ahead: a failure says whether the installation is intact.
  EXPECT_EQ(r.back().arguments,
            (std::vector<std::wstring>{kDatabaseUrl, L"200", L"0", kInstallationIntact}));
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.exe"));
  // The archive was closed: the package file can go.
  EXPECT_TRUE(DeleteFileW((folder + L"\\download\\Quelda2.0.zip").c_str()));

  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerServe(L"app"));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\Quelda.mdb").c_str(), nullptr));
  // The database is put in place only once it has arrived whole.
  const auto& again = Install(folder);
  EXPECT_EQ(MessageSequence(again),
            (Numbers{kChecking, kDownloading, kDownloaded, kDatabaseDownloading, kDatabaseStep,
                     kDatabaseNotCreated}));
  ASSERT_EQ(again.back().arguments.size(), 3u);
  EXPECT_EQ(again.back().arguments[0], folder + L"\\Quelda.mdb");
  EXPECT_EQ(again.back().arguments[2], kInstallationIntact);
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.mdb.download"));
  EXPECT_FALSE(FileExists(folder + L"\\Quelda.exe"));
  EXPECT_TRUE(DeleteFileW((folder + L"\\download\\Quelda2.0.zip").c_str()));
}

TEST_F(InstallServerIntegration, TargetThatCannotBeMovedFailsUntilItIsFree) {
  std::wstring folder = MakeScratchDir(L"install_locked");
  MakeOldInstallation(folder);
  // A file where the backup folder belongs: nothing can be moved into it,
  // and nothing may be moved onto it. (Wine moves files that are open
  // without sharing, and into a folder that stands where the backup would
  // land, so neither can stand in for a locked target.)
  std::wstring blocker = folder + L"\\Update\\Backup1.2.3";
  WriteText(blocker, "in the way");
  const auto& r = Install(folder);
  EXPECT_EQ(MessageNumber(r.back()), kBackupFailed);
  ASSERT_EQ(r.back().arguments.size(), 4u);
  EXPECT_EQ(r.back().arguments[0], folder + L"\\Quelda.exe");
  EXPECT_EQ(r.back().arguments[1], folder + L"\\Update\\Backup1.2.3\\");
  EXPECT_EQ(r.back().arguments[3], kInstallationIntact);
  EXPECT_EQ(ReadFileBytes(folder + L"\\readme.txt"), "old readme");
  EXPECT_EQ(ReadFileBytes(folder + L"\\Quelda.exe"), ReadFileBytes(TestAppPath(L"1.2.3.0")));
  EXPECT_EQ(ReadFileBytes(blocker), "in the way");
  ASSERT_TRUE(DeleteFileW(blocker.c_str()));

  // Retry: the worker runs again and passes the wait at once.
  const auto& retry = Install(folder);
  EXPECT_EQ(retry.back().kind, kStatusFinished) << retry.back().text.c_str();
  ExpectTreeIn(TestSite(L"app_expected"), folder);
}

// Everything under the folder, each file with its bytes.
std::map<std::wstring, std::string> TreeContents(const std::wstring& folder) {
  std::map<std::wstring, std::string> contents;
  for (const std::wstring& path : ListTree(folder)) contents[path] = ReadFileBytes(folder + path);
  return contents;
}

// The same, without the downloaded package of version 2.0 and its folder.
std::map<std::wstring, std::string> TreeBesidesPackage(const std::wstring& folder) {
  auto contents = TreeContents(folder);
  contents.erase(L"\\download\\");
  contents.erase(L"\\download\\Quelda2.0.zip");
  return contents;
}

TEST_F(InstallServerIntegration, DamagedPackageIsRefusedBeforeAnythingChanges) {
  // The CRC of an entry in the middle of the package fails; two items of
  // the other share their header and data; the last item of a third is too
  // long for the install folder.
  std::wstring folder = MakeScratchDir(L"install_damaged");
  MakeOldInstallation(folder);
  auto before = TreeContents(folder);
  auto expectUnchanged = [&] {
    EXPECT_TRUE(TreeBesidesPackage(folder) == before) << "the installation is as it was";
    EXPECT_FALSE(FileExists(folder + L"\\Update"));
  };
  // A structure that is no sound zip is refused by the check. Data that
  // does not extract is found by the staging, which in update mode reads
  // each item once: the staged files go and the installation is intact.
  ASSERT_TRUE(ServerServe(L"overlap"));
  EXPECT_EQ(MessageNumbers(Install(folder)), (Numbers{kChecking, kDownloading, kNotAZip}));
  expectUnchanged();
  ASSERT_TRUE(ServerServe(L"damaged"));
  const auto& damaged = Install(folder);
  EXPECT_EQ(MessageNumbers(damaged),
            (Numbers{kChecking, kDownloading, kDownloaded, kUnpacking, kNotAZip}));
  EXPECT_EQ(damaged.back().arguments, std::vector<std::wstring>{kInstallationIntact});
  expectUnchanged();
  EXPECT_FALSE(FileExists(folder + L"\\download\\Quelda2.0.zip")) << "no start for a retry";

  // A name too long for this install folder, after items that fit: found
  // at the go-ahead, before any of them is backed up.
  ASSERT_TRUE(ServerServe(L"too_long"));
  const auto& deep = Install(folder);
  EXPECT_EQ(MessageNumbers(deep), (Numbers{kChecking, kDownloading, kDownloaded, kExtractFailed}));
  ASSERT_EQ(deep.back().arguments.size(), 2u);
  EXPECT_NE(deep.back().arguments[0].find(std::wstring(231, L'x')), std::wstring::npos);
  expectUnchanged();

  // Retry with a sound download writes over the same package file.
  ASSERT_TRUE(ServerServe(L"app"));
  const auto& retry = Install(folder);
  EXPECT_EQ(retry.back().kind, kStatusFinished);
  ExpectTreeIn(TestSite(L"app_expected"), folder);
}

// A folder made into the update files by tools/publish, with Chinese names
// in code page 936: the suite runs where Wine has that code page
// (worker_tests.published, under zh_CN.UTF-8).
class PublishedServerIntegration : public InstallServerIntegration {};

TEST_F(PublishedServerIntegration, OnlyThePublishedPackageInstallsAndItBringsTheFolderAsItWas) {
  ASSERT_EQ(GetACP(), 936u) << "Wine takes code page 936 from LC_ALL=zh_CN.UTF-8";
  std::wstring folder = MakeScratchDir(L"install_published");
  MakeOldInstallation(folder);
  auto before = TreeContents(folder);
  // Sound zip archives, but not the package that the manifest declares:
  // one of another size is refused by its Content-Length, before a byte of
  // it is written.
  for (const wchar_t* site : {L"published_same_size", L"published_other_size"}) {
    SCOPED_TRACE(testing::Message() << site);
    ASSERT_TRUE(ServerServe(site));
    bool sameSize = wcscmp(site, L"published_same_size") == 0;
    const auto& r = Install(folder);
    EXPECT_EQ(MessageNumbers(r), (Numbers{kChecking, kDownloading, sameSize ? kNotAZip : kNoLength}));
    if (!sameSize) {
      EXPECT_EQ(r.back().arguments.back(), kFileNotDeclared);
    }
    EXPECT_TRUE(TreeBesidesPackage(folder) == before) << "the installation is as it was";
  }

  ASSERT_TRUE(ServerServe(L"published"));
  run_.choices().demoDatabase = true;
  const auto& r = Install(folder);
  ASSERT_EQ(r.back().kind, kStatusFinished) << r.back().text.c_str();
  std::wstring source = TestSite(L"published_app");
  std::vector<std::wstring> names = ListTree(source);
  ASSERT_GE(names.size(), 16u);
  for (const std::wstring& name : names) {
    SCOPED_TRACE(testing::Message() << name.c_str());
    WIN32_FILE_ATTRIBUTE_DATA published = {}, installed = {};
    ASSERT_TRUE(GetFileAttributesExW((source + name).c_str(), GetFileExInfoStandard, &published));
    ASSERT_TRUE(GetFileAttributesExW((folder + name).c_str(), GetFileExInfoStandard, &installed));
    bool isFolder = published.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    EXPECT_EQ(isFolder, (installed.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    if (isFolder) continue;
    EXPECT_TRUE(ReadFileBytes(folder + name) == ReadFileBytes(source + name));
    // The package carries each file's time to the second.
    EXPECT_EQ(CompareFileTime(&installed.ftLastWriteTime, &published.ftLastWriteTime), 0);
  }
  EXPECT_TRUE(ReadFileBytes(folder + L"\\Quelda.mdb") ==
              ReadFileBytes(TestSite(L"published") + L"\\quelda.mdb"));
}

TEST_F(InstallServerIntegration, FolderEntriesBeforeOrAfterTheirFilesMoveNoFolder) {
  ASSERT_TRUE(ServerServe(L"folders"));
  std::wstring folder = MakeScratchDir(L"install_folders");
  MakeOldInstallation(folder);
  WriteText(folder + L"\\data\\lang\\mine.txt", "the user's own");
  const auto& r = Install(folder);
  ASSERT_EQ(r.back().kind, kStatusFinished) << r.back().text.c_str();
  EXPECT_EQ(ReadFileBytes(folder + L"\\data\\old_only.txt"), "only in 1.2.3");
  EXPECT_EQ(ReadFileBytes(folder + L"\\data\\lang\\mine.txt"), "the user's own");
  std::wstring expected = TestSite(L"app_expected");
  for (const wchar_t* file :
       {L"\\Quelda.exe", L"\\readme.txt", L"\\data\\sample.txt", L"\\data\\lang\\zh-CN.txt"}) {
    EXPECT_TRUE(ReadFileBytes(folder + file) == ReadFileBytes(expected + file));
  }
  std::wstring backup = folder + L"\\Update\\Backup1.2.3";
  EXPECT_EQ(ReadFileBytes(backup + L"\\sample.txt"), "old sample");
  EXPECT_EQ(ReadFileBytes(backup + L"\\readme.txt"), "old readme");
  EXPECT_FALSE(FileExists(backup + L"\\data"));
}

TEST_F(InstallServerIntegration, ItemWithAnEscapingNameIsNeitherMovedNorExtracted) {
  ASSERT_TRUE(ServerServe(L"bad_name"));
  std::wstring parent = MakeScratchDir(L"install_bad_name");
  std::wstring folder = parent + L"\\Quelda";
  ASSERT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), parent + L"\\Quelda.exe"));
  CreateDirectoryW(folder.c_str(), nullptr);
  MakeOldInstallation(folder);
  const auto& r = Install(folder);
  EXPECT_EQ(MessageNumbers(r), (Numbers{kChecking, kDownloading, kNotAZip}))
      << r.back().text.c_str();
  EXPECT_EQ(ReadFileBytes(folder + L"\\readme.txt"), "old readme");
  EXPECT_FALSE(FileExists(parent + L"\\outside.txt"));
  EXPECT_FALSE(FileExists(folder + L"\\zz.txt"));
  // Nothing outside the install folder, nor the folder itself, was moved.
  EXPECT_TRUE(FileExists(parent + L"\\Quelda.exe"));
  EXPECT_TRUE(FileExists(folder + L"\\keep.txt"));
  EXPECT_TRUE(FileExists(folder + L"\\Quelda.exe"));
}

// A drive of 12 MB (the small_drive fixture's Q:): a reply that announces
// 3,000,000,000 bytes is refused before a byte of it is written, for the
// package and for the demo database.
class InstallSmallDriveServerIntegration : public InstallServerIntegration {};

TEST_F(InstallSmallDriveServerIntegration, EnormousLengthIsRefusedBeforeWriting) {
  ASSERT_TRUE(FileExists(L"Q:\\")) << "drive Q: is made by the small_drive fixture";
  std::wstring folder = L"Q:\\install_enormous";
  RemoveTree(folder);
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  MakeOldInstallation(folder);
  auto before = TreeContents(folder);
  ULARGE_INTEGER free = {};
  ASSERT_TRUE(GetDiskFreeSpaceExW(L"Q:\\", &free, nullptr, nullptr));
  for (const wchar_t* only : {L"zirorov.zip", L"quelda.mdb"}) {
    SCOPED_TRACE(testing::Message() << only);
    run_.choices().demoDatabase = true;
    ASSERT_TRUE(ServerSet(std::wstring(L"fault=huge&only=") + only));
    const auto& r = Install(folder);
    EXPECT_EQ(MessageNumber(r.back()), kNoRoom) << r.back().text.c_str();
    ASSERT_GE(r.back().arguments.size(), 3u);
    EXPECT_EQ(r.back().arguments[1], L"2,929,688");
    EXPECT_TRUE(TreeBesidesPackage(folder) == before) << "the installation is as it was";
    ULARGE_INTEGER after = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"Q:\\", &after, nullptr, nullptr));
    EXPECT_GT(after.QuadPart + 1024 * 1024, free.QuadPart) << "nothing of it landed";
  }
  RemoveTree(folder);
}

}  // namespace

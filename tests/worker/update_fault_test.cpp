// An update over an installation of 1.2.3.0 that fails at each of its
// file-system calls in turn, or whose process ends at each, every time
// followed by a healthy run: after each the folder is the old version or
// the new one, exactly, and the healthy run completes the update.
#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

#include <string>

#include "disk/install_folder.h"
#include "update/update_recovery.h"
#include "support/fault_plan.h"
#include "support/old_installation.h"
#include "support/process.h"
#include "support/server_control.h"
#include "support/test_paths.h"
#include "support/worker_run.h"

namespace {

class UpdateFaultServerIntegration : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(ServerServe(L"fault"));
    // The user's database goes, in the backup folder, for the demo one.
    run_.choices().demoDatabase = true;
  }
  void TearDown() override {
    SetFaultPlan(FaultMode::kNone, 0);
    ServerTest::TearDown();
  }

  // A fresh installation of 1.2.3.0.
  std::wstring Fresh(const wchar_t* name) {
    std::wstring folder = MakeScratchDir(name);
    MakeOldInstallation(folder);
    return folder;
  }
  // One whole run with the go-ahead given at once; the last report's id.
  ReportId Update(const std::wstring& folder) {
    run_.Start(folder);
    run_.Proceed();
    EXPECT_TRUE(run_.WaitForEnd());
    auto reports = run_.reports();
    return reports.empty() ? ReportId::kChecking : reports.back().id;
  }

  WorkerRun run_;
};

TEST_F(UpdateFaultServerIntegration, EveryFailingCallAndEveryEndLeavesOneWholeVersion) {
  // The references: the old version, the update made once, and made twice
  // (a healthy run after one that had finished installs once more).
  std::wstring folder = Fresh(L"fault_reference");
  const Tree before = Snapshot(folder);
  SetFaultPlan(FaultMode::kNone, 0);
  ASSERT_EQ(Update(folder), ReportId::kFinished);
  long calls[kFaultLanes];
  for (int lane = 0; lane < kFaultLanes; ++lane) calls[lane] = FaultCalls(lane);
  const Tree after = Snapshot(folder);
  // Each lane makes the same calls in every run: a failing call can be
  // tried again by its lane and number.
  {
    std::wstring again = Fresh(L"fault_reference_again");
    SetFaultPlan(FaultMode::kNone, 0);
    ASSERT_EQ(Update(again), ReportId::kFinished);
    for (int lane = 0; lane < kFaultLanes; ++lane) EXPECT_EQ(FaultCalls(lane), calls[lane]) << lane;
  }
  EXPECT_EQ(ReadFileBytes(folder + L"\\Update\\Backup1.2.3\\Quelda.mdb"), "the user's database");
  ASSERT_EQ(Update(folder), ReportId::kFinished);
  const Tree twice = Snapshot(folder);
  ASSERT_NE(before, after);
  EXPECT_EQ(after.at(L"\\Update\\Backup1.2.3\\config.ini"), before.at(L"\\lib\\x\\config.ini"))
      << "the user's edit is kept";
  EXPECT_EQ(after.at(L"\\keep.txt"), before.at(L"\\keep.txt"));
  ASSERT_GT(calls[0] + calls[1], 60);
  ASSERT_GT(calls[1], 0) << "the staging and the switch share their work";

  std::wstring self(MAX_PATH, L'\0');
  self.resize(GetModuleFileNameW(nullptr, &self[0], MAX_PATH));
  int failedRuns = 0, endedRuns = 0, oldAfter = 0, newAfter = 0;
  for (FaultMode mode : {FaultMode::kFail, FaultMode::kKill}) {
    for (int lane = 0; lane < kFaultLanes; ++lane) {
      for (long n = 1; n <= calls[lane]; ++n) {
        bool kill = mode == FaultMode::kKill;
        SCOPED_TRACE(testing::Message()
                     << (kill ? "ended at call " : "failed at call ") << n << " of lane " << lane);
        folder = Fresh(L"fault_run");
        if (kill) {
          // In a process of its own, ended at that call as a power cut would.
          wchar_t plan[32];
          swprintf(plan, 32, L"kill:%ld@%d", n, lane);
          SetEnvironmentVariableW(L"QUELDA_FAULT", plan);
          SetEnvironmentVariableW(L"QUELDA_FAULT_FOLDER", folder.c_str());
          ChildProcess child;
          ASSERT_TRUE(child.Start(self, L"--gtest_filter=FaultChild.*"))
              << "error " << GetLastError();
          long code = child.WaitForExit(120000);
          SetEnvironmentVariableW(L"QUELDA_FAULT", nullptr);
          SetEnvironmentVariableW(L"QUELDA_FAULT_FOLDER", nullptr);
          ASSERT_EQ(code, static_cast<long>(kFaultExitCode));
          ++endedRuns;
          // What the next start of the setup does first.
          ASSERT_TRUE(FinishUnfinishedUpdate(InstallFolder(folder.c_str())));
        } else {
          SetFaultPlan(FaultMode::kFail, n, lane);
          ReportId last = Update(folder);
          long reached = FaultCalls(lane);
          SetFaultPlan(FaultMode::kNone, 0);
          ASSERT_GE(reached, n) << "the run reached the call";
          ++failedRuns;
          // A failure of the setup's last tidying up leaves a whole update.
          // Before the go-ahead only the downloads can fail; after it, the
          // report says the installation is intact.
          bool downloading = last == ReportId::kDownloadFailed || last == ReportId::kNotAZip ||
                             last == ReportId::kPackageNotCreated;
          bool pastGoAhead = last == ReportId::kBackupFailed || last == ReportId::kExtractFailed ||
                             last == ReportId::kDatabaseFailed ||
                             last == ReportId::kDatabaseNotCreated;
          EXPECT_TRUE(last == ReportId::kFinished || downloading || pastGoAhead)
              << static_cast<int>(last);
          if (pastGoAhead) {
            EXPECT_EQ(run_.reports().back().arguments.back(), kInstallationIntact);
          }
        }
        Tree state = Snapshot(folder, kill);
        bool isOld = state == before, isNew = state == after;
        ASSERT_TRUE(isOld || isNew)
            << "a mixture of two versions; from the old:" << Differences(before, state)
            << "; from the new:" << Differences(after, state);
        (isOld ? oldAfter : newAfter)++;
        ASSERT_EQ(Update(folder), ReportId::kFinished) << "the healthy run";
        ASSERT_TRUE(Snapshot(folder) == (isOld ? after : twice));
      }
    }
  }
  RecordProperty("calls", static_cast<int>(calls[0] + calls[1]));
  printf("%ld + %ld calls: %d runs failed, %d ended; then %d old, %d new\n", calls[0], calls[1],
         failedRuns, endedRuns, oldAfter, newAfter);
}

// The update of a child process of the test above, ended by its plan.
TEST(FaultChild, RunsOneUpdate) {
  wchar_t folder[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"QUELDA_FAULT_FOLDER", folder, MAX_PATH) == 0) {
    GTEST_SKIP() << "started by UpdateFaultServerIntegration only";
  }
  WorkerRun run;
  run.choices().demoDatabase = true;
  run.Start(folder);
  run.Proceed();
  ASSERT_TRUE(run.WaitForEnd());
  ADD_FAILURE() << "the run was to end at its planned call";
}

}  // namespace

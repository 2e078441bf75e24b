// The install worker up to the user's go-ahead, against the stand-in update
// server.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/update_server.h"
#include "fetch/download_request.h"
#include "support/clock.h"
#include "support/server_control.h"
#include "support/stall_plan.h"
#include "support/test_paths.h"
#include "support/worker_run.h"

namespace {

using Numbers = std::vector<int>;
using Texts = std::vector<std::wstring>;

bool IsWaiting(const WorkerReport& r) { return MessageNumber(r) == kDownloaded; }
bool IsFailure(const WorkerReport& r) { return r.kind == kStatusFailed; }

class WorkerServerIntegration : public ServerTest {
 protected:
  // Runs a worker into a fresh install folder until it waits for the
  // go-ahead or fails.
  std::wstring RunToWait(const wchar_t* name) {
    folder_ = MakeScratchDir(name);
    run_.Start(folder_);
    EXPECT_TRUE(
        run_.WaitForReport([](const WorkerReport& r) { return IsWaiting(r) || IsFailure(r); }));
    return folder_;
  }
  WorkerReport Last() { return run_.reports().back(); }

  WorkerRun run_;
  std::wstring folder_;
};

TEST_F(WorkerServerIntegration, SmallPackageGoesFromDownloadStraightToWaiting) {
  std::wstring folder = RunToWait(L"worker_small");
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloaded}));
  const auto& r = run_.reports();
  EXPECT_EQ(r[0].text, L"正在检查 Quelda Manager 最新版本 ...");
  EXPECT_EQ(r[1].text, L"正在下载 Quelda Manager 1.2.3.4 ...");
  EXPECT_EQ(r[1].progress, 0u);
  EXPECT_EQ(r[2].text, L"已下载 Quelda Manager 1.2.3.4 ...");
  EXPECT_EQ(r[2].progress, 1u);
  EXPECT_EQ(r[2].kind, kStatusWorking);
  std::string package = ReadFileBytes(folder + L"\\download\\Quelda1.2.3.4.zip");
  EXPECT_LT(package.size(), 12288u);
  EXPECT_TRUE(package == SiteFile(L"zirorov.zip"));

  // Waiting: nothing more until cancel, which ends the run silently and
  // keeps the package.
  Sleep(300);
  EXPECT_EQ(run_.reports().size(), 3u);
  EXPECT_LT(run_.Stop(), kPromptly);
  EXPECT_EQ(run_.reports().size(), 3u);
  EXPECT_TRUE(FileExists(folder + L"\\download\\Quelda1.2.3.4.zip"));
}

TEST_F(WorkerServerIntegration, FortyMillionBytesMoveTheBarOneStepAtATime) {
  ASSERT_TRUE(ServerServe(L"big"));
  std::wstring folder = RunToWait(L"worker_big");
  const auto& r = run_.reports();
  ASSERT_EQ(MessageSequence(r), (Numbers{kChecking, kDownloading, kDownloadStep, kDownloaded}));
  uint32_t steps = 0;
  for (const WorkerReport& report : r) {
    if (MessageNumber(report) != kDownloadStep) continue;
    ++steps;
    EXPECT_TRUE(report.progress);
    EXPECT_EQ(report.position, steps);
    ASSERT_EQ(report.arguments.size(), 3u);
    EXPECT_EQ(report.arguments[0], L"1.2.3.4");
    EXPECT_EQ(report.arguments[1], L"39,062") << "step " << steps;
  }
  EXPECT_EQ(steps, 3255u);
  EXPECT_EQ(r[r.size() - 2].text,
            L"正在下载 Quelda Manager 1.2.3.4 ...\r\n共 39,062 KB，已下载 39,062 KB。");
  EXPECT_EQ(run_.range(), 3255u);
  // The download over, the bar is full.
  EXPECT_EQ(r.back().position, kFullBar);
  std::string package = ReadFileBytes(folder + L"\\download\\Quelda1.2.3.4.zip");
  EXPECT_EQ(package.size(), 40000000u);
  EXPECT_TRUE(package == ReadFileBytes(TestSite(L"big") + L"\\zirorov.zip"));
}

TEST_F(WorkerServerIntegration, VersionTextNamesThePackageFile) {
  ASSERT_TRUE(ServerServe(L"v120"));
  std::wstring folder = RunToWait(L"worker_v120");
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloaded}));
  EXPECT_EQ(run_.reports()[1].arguments, Texts{L"1.2"});
  EXPECT_TRUE(FileExists(folder + L"\\download\\Quelda1.2.zip"));
  // Every request names the program.
  auto requests = ServerRequests();
  ASSERT_GE(requests.size(), 2u);
  for (const LoggedRequest& r : requests) {
    if (r.path.rfind("/_control/", 0) == 0) continue;
    EXPECT_EQ(r.userAgent.rfind("QueldaSetup/", 0), 0u) << r.path << " " << r.userAgent;
  }
}

TEST_F(WorkerServerIntegration, UnreachableManifestDownloadsAsVersionZero) {
  for (const wchar_t* fault :
       {L"fault=reset&at=0&only=quelda.xml", L"fault=notfound&only=quelda.xml"}) {
    SCOPED_TRACE(testing::Message() << fault);
    ASSERT_TRUE(ServerSet(fault));
    std::wstring folder = RunToWait(L"worker_no_manifest");
    ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloaded}));
    EXPECT_EQ(run_.reports()[1].arguments, Texts{L"0.0"});
    EXPECT_TRUE(ReadFileBytes(folder + L"\\download\\Quelda0.0.zip") == SiteFile(L"zirorov.zip"));
    run_.Stop();
  }
}

// A proxy that answers the CONNECT with a 403 and a page (a captive
// portal, a hostile proxy): its page is neither the manifest nor the
// package, and nothing of it is written. Through a proxy that tunnels, the
// same setup gets the server's files.
TEST_F(WorkerServerIntegration, ProxyThatRefusesIsNoServer) {
  StandInProxy proxy;
  ASSERT_TRUE(proxy.set());
  ASSERT_TRUE(ServerSet(L"proxy=refuse"));
  std::wstring folder = RunToWait(L"worker_proxy_refuses");
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kNoLength}));
  EXPECT_EQ(run_.reports()[1].arguments, Texts{L"0.0"}) << "an unreachable manifest";
  EXPECT_EQ(Last().arguments[1], L"403");
  EXPECT_TRUE(run_.WaitForEnd());
  EXPECT_FALSE(FileExists(folder + L"\\download"));
  std::vector<LoggedRequest> requests = ServerRequests();
  ASSERT_EQ(requests.size(), 2u);
  for (const LoggedRequest& r : requests) EXPECT_EQ(r.method, "CONNECT");

  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerSet(L"proxy=tunnel"));
  folder = RunToWait(L"worker_proxy_tunnels");
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloaded}));
  EXPECT_TRUE(ReadFileBytes(folder + L"\\download\\Quelda1.2.3.4.zip") == SiteFile(L"zirorov.zip"));
  EXPECT_EQ(ServerRequests()[0].method, "CONNECT");
}

// A manifest that a server compresses although the identity was asked
// for is read: the declared version, not an unreachable manifest's 0.0.
TEST_F(WorkerServerIntegration, CompressedManifestIsRead) {
  ASSERT_TRUE(ServerServe(L"v120", L"fault=encoded&coding=gzip&only=quelda.xml"));
  RunToWait(L"worker_gzip_manifest");
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloaded}));
  EXPECT_EQ(run_.reports()[1].arguments, Texts{L"1.2"});
}

TEST_F(WorkerServerIntegration, ReplyWithoutLengthFailsWithItsStatusCode) {
  ASSERT_TRUE(ServerSet(L"fault=chunked"));
  std::wstring folder = RunToWait(L"worker_chunked");
  EXPECT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kNoLength}));
  EXPECT_EQ(Last().arguments, (Texts{kPackageUrl, L"200", L"0"}));
  EXPECT_EQ(Last().text, std::wstring(L"下载 “") + kPackageUrl + L"” 失败 (200/0)！");
  EXPECT_EQ(Last().progress, 0u);
  EXPECT_TRUE(run_.WaitForEnd());
  EXPECT_FALSE(FileExists(folder + L"\\download")) << "nothing on disk";

  // An error page with its length is no package either: it fails naming
  // its status, and nothing of it is written.
  ASSERT_TRUE(ServerSet(L"fault=notfound&only=zirorov.zip"));
  folder = RunToWait(L"worker_error_page");
  EXPECT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kNoLength}));
  ASSERT_EQ(Last().arguments.size(), 3u);
  EXPECT_EQ(Last().arguments[1], L"404");
  EXPECT_NE(Last().arguments[2], L"0");
  EXPECT_TRUE(run_.WaitForEnd());
  EXPECT_FALSE(FileExists(folder + L"\\download\\Quelda2.0.zip"));
}

TEST_F(WorkerServerIntegration, CutBodyFailsAsADownload) {
  for (const wchar_t* fault : {L"fault=short&at=150", L"fault=reset&at=150"}) {
    SCOPED_TRACE(testing::Message() << fault);
    ASSERT_TRUE(ServerSet(fault));
    std::wstring folder = RunToWait(L"worker_cut");
    EXPECT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kDownloadFailed}));
    EXPECT_EQ(Last().kind, kStatusFailed);
    // The system's reason, or that the body came short.
    ASSERT_EQ(Last().arguments.size(), 2u);
    EXPECT_EQ(Last().arguments[0], kPackageUrl);
    EXPECT_FALSE(Last().arguments[1].empty());
    EXPECT_TRUE(run_.WaitForEnd());
    // The failed download stays where it landed.
    std::string saved = ReadFileBytes(folder + L"\\download\\Quelda1.2.3.4.zip");
    EXPECT_LE(saved.size(), 150u);
    EXPECT_TRUE(saved == SiteFile(L"zirorov.zip").substr(0, saved.size()));
  }
}

// Replies that are no package, whatever their body: nothing of them is
// written, and the failure says what came.
TEST_F(WorkerServerIntegration, RefusedRepliesWriteNothing) {
  struct Case {
    const wchar_t* fault;
    int report;
    const wchar_t* reason;  // the start of the line after the report's
  };
  const Case cases[] = {
      {L"fault=status&code=403&only=zirorov.zip", kNoLength, L"403"},
      {L"fault=redirect&to=http&only=zirorov.zip", kDownloadFailed,
       L"服务器将请求转到 “http://localhost/"},
      {L"fault=redirect&to=loop&only=zirorov.zip", kDownloadFailed,
       L"服务器将请求转到 “https://localhost/"},
      {L"fault=encoded&coding=gzip&only=zirorov.zip", kDownloadFailed, L"服务器以 “gzip” 编码"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.fault);
    ASSERT_TRUE(ServerReset());
    ASSERT_TRUE(ServerSet(c.fault));
    std::wstring folder = RunToWait(L"worker_refused");
    EXPECT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, c.report}));
    ASSERT_GE(Last().arguments.size(), 2u);
    EXPECT_EQ(Last().arguments[1].rfind(c.reason, 0), 0u) << Last().text.c_str();
    EXPECT_TRUE(run_.WaitForEnd());
    EXPECT_FALSE(FileExists(folder + L"\\download")) << "nothing on disk";
    if (wcsstr(c.fault, L"loop")) {
      // The manifest, the package and its redirects up to the limit.
      EXPECT_EQ(ServerRequests().size(), 2u + kMaxRedirects);
    }
  }
}

TEST_F(WorkerServerIntegration, PackageFileThatCannotBeCreatedFails) {
  std::wstring folder = MakeScratchDir(L"worker_no_file");
  std::wstring package = folder + L"\\download\\Quelda1.2.3.4.zip";
  // A folder of that name stands in the way.
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\download").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(package.c_str(), nullptr));
  run_.Start(folder);
  ASSERT_TRUE(run_.WaitForReport(IsFailure));
  ASSERT_EQ(MessageNumbers(run_.reports()), (Numbers{kChecking, kDownloading, kPackageNotCreated}));
  ASSERT_EQ(Last().arguments.size(), 2u);
  EXPECT_EQ(Last().arguments[0], package);
  EXPECT_FALSE(Last().arguments[1].empty()) << "the reason follows";
}

TEST_F(WorkerServerIntegration, EarlierPackageFileIsOverwrittenFromItsStart) {
  std::wstring folder = MakeScratchDir(L"worker_overwrite");
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\download").c_str(), nullptr));
  std::wstring package = folder + L"\\download\\Quelda1.2.3.4.zip";
  ASSERT_TRUE(WriteFileBytes(package, std::string(100000, 'x')));
  run_.Start(folder);
  ASSERT_TRUE(run_.WaitForReport(IsWaiting));
  EXPECT_TRUE(ReadFileBytes(package) == SiteFile(L"zirorov.zip"));
}

TEST_F(WorkerServerIntegration, StopEndsEveryStageQuickly) {
  struct Stage {
    const wchar_t* settings;
    int waitFor;  // the last report before stopping
  };
  const Stage stages[] = {
      {L"fault=slow&delay=60&only=quelda.xml", kChecking},  // manifest fetch
      {L"fault=slow&delay=0&trickle=4096&interval=0.2&only=zirorov.zip", kDownloadStep},
      // A stalled transfer. Under Wine a read already blocked on the
      // silent server is not ended by closing the session: it waits for
      // the stall limit, shortened here to 5 s (the setup's is 30 s).
      {L"fault=stall&at=100000&delay=600&only=zirorov.zip", kDownloadStep},
      {L"", kDownloaded},  // the wait
  };
  ASSERT_TRUE(ServerServe(L"big"));
  for (const Stage& stage : stages) {
    for (int i = 0; i < 3; ++i) {
      SCOPED_TRACE(testing::Message() << stage.settings << " #" << i);
      ASSERT_TRUE(ServerReset());
      ASSERT_TRUE(ServerServe(L"big", stage.settings));
      if (wcsstr(stage.settings, L"fault=stall")) SetStallLimit(5000);
      run_.Start(MakeScratchDir(L"worker_stop"));
      ASSERT_TRUE(run_.WaitForReport(
          [&](const WorkerReport& r) { return MessageNumber(r) == stage.waitFor; }));
      size_t before = run_.reports().size();
      EXPECT_LT(run_.Stop(), kPromptly);
      ResetStallLimit();
      // A cancel is not reported, and a download it cut short is no
      // package to check. Steps of bytes that had come before the stop
      // may still be reported.
      Numbers after;
      for (size_t n = before; n < run_.reports().size(); ++n) {
        int number = MessageNumber(run_.reports()[n]);
        if (number != kDownloadStep) after.push_back(number);
      }
      EXPECT_EQ(after, Numbers{});
    }
  }
}

}  // namespace

namespace {

// Install mode: the folder is chosen only with the go-ahead, while the
// download runs; before it the package lands in a scratch folder of the
// setup's own, which is gone again however the run ends.
TEST_F(WorkerServerIntegration, PackageLandsOnlyInTheFolderChosenWithTheGoAhead) {
  std::wstring parent = MakeScratchDir(L"worker_chosen");
  std::wstring offered = parent + L"\\offered", chosen = parent + L"\\chosen",
               staging = parent + L"\\staging";
  ASSERT_TRUE(CreateDirectoryW(chosen.c_str(), nullptr));
  // Held in its download until the choice is made.
  ASSERT_TRUE(ServerSet(L"fault=hold&only=zirorov.zip"));
  run_.Start(offered, staging);
  ASSERT_TRUE(
      run_.WaitForReport([](const WorkerReport& r) { return r.id == ReportId::kDownloading; }));
  run_.choices().folder = chosen.c_str();
  run_.choices().desktopLink = run_.choices().programsLink = false;
  run_.choices().startupLink = run_.choices().quickLaunchLink = false;
  run_.Proceed();
  ASSERT_TRUE(ServerRelease());
  ASSERT_TRUE(run_.WaitForReport([](const WorkerReport& r) { return r.kind != kStatusWorking; }));
  EXPECT_TRUE(run_.WaitForEnd());
  EXPECT_EQ(Last().id, ReportId::kFinished) << Last().text.c_str();
  EXPECT_EQ(run_.navigationEnds(), 1);
  EXPECT_TRUE(ReadFileBytes(chosen + L"\\download\\Quelda1.2.3.4.zip") == SiteFile(L"zirorov.zip"));
  EXPECT_FALSE(FileExists(offered)) << "the folder first offered was never made";
  EXPECT_FALSE(FileExists(staging)) << "the scratch folder is gone";

  // Ended before the go-ahead: nothing is left anywhere.
  ASSERT_TRUE(ServerReset());
  WorkerRun waiting;
  waiting.Start(offered, staging);
  ASSERT_TRUE(waiting.WaitForReport(IsWaiting));
  EXPECT_TRUE(FileExists(staging + L"\\download\\Quelda1.2.3.4.zip"));
  waiting.Stop();
  EXPECT_FALSE(FileExists(staging));
  EXPECT_FALSE(FileExists(offered));
}

}  // namespace

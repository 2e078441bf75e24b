// A package download that an earlier run left behind, reused or continued,
// against the stand-in update server's ranges.
#include <windows.h>
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "fetch/download_resume.h"
#include "report/status_report.h"
#include "worker/staged_package.h"
#include "common/update_server.h"
#include "support/server_control.h"
#include "support/stall_plan.h"
#include "support/test_paths.h"
#include "support/worker_run.h"

namespace {

using Numbers = std::vector<int>;

// The resume site's package: 2,000,000 bytes, declared with its SHA-256.
constexpr size_t kCut = 1800000;

std::string SitePackage(const wchar_t* site) {
  return ReadFileBytes(TestSite(site) + L"\\zirorov.zip");
}

std::vector<LoggedRequest> PackageRequests() {
  std::vector<LoggedRequest> found;
  for (const LoggedRequest& r : ServerRequests()) {
    if (r.path.find("zirorov.zip") != std::string::npos) found.push_back(r);
  }
  return found;
}

std::vector<int> Statuses(const std::vector<LoggedRequest>& requests) {
  std::vector<int> statuses;
  for (const LoggedRequest& r : requests) statuses.push_back(r.status);
  return statuses;
}

class ResumeServerIntegration : public ServerTest {
 protected:
  void TearDown() override {
    ResetStallLimit();
    ServerTest::TearDown();
  }

  void UseFolder(const wchar_t* name) {
    folder_ = MakeScratchDir(name);
    package_ = folder_ + L"\\download\\Quelda1.2.3.4.zip";
  }
  // One run in the folder until it waits for the go-ahead or has failed;
  // the report it ended on.
  int Run(const std::wstring& staging = L"") {
    run_.Start(folder_, staging);
    EXPECT_TRUE(run_.WaitForReport([](const WorkerReport& r) {
      return r.id == ReportId::kDownloaded || r.kind == kStatusFailed;
    }));
    int last = MessageNumber(run_.reports().back());
    run_.Stop();
    return last;
  }
  // A run whose download the server cuts at kCut bytes.
  void RunCut(const std::wstring& staging = L"") {
    ASSERT_TRUE(
        ServerServe(L"resume", L"fault=short&only=zirorov.zip&at=" + std::to_wstring(kCut)));
    ASSERT_EQ(Run(staging), kDownloadFailed);
    std::wstring part = staging.empty() ? package_ : staging + L"\\download\\Quelda1.2.3.4.zip";
    ASSERT_EQ(ReadFileBytes(part).size(), kCut);
    ASSERT_TRUE(FileExists(part + L".validator"));
    ASSERT_TRUE(ServerReset());
  }
  std::vector<WorkerReport> Steps() {
    std::vector<WorkerReport> steps;
    for (const WorkerReport& r : run_.reports()) {
      if (r.id == ReportId::kDownloadStep) steps.push_back(r);
    }
    return steps;
  }

  WorkerRun run_;
  std::wstring folder_;
  std::wstring package_;
};

TEST_F(ResumeServerIntegration, CutDownloadGoesOnWhereItBrokeOff) {
  UseFolder(L"resume_cut");
  std::string site = SitePackage(L"resume");
  ASSERT_EQ(site.size(), 2000000u);
  ASSERT_TRUE(ServerServe(L"resume", L"fault=short&only=zirorov.zip&at=" + std::to_wstring(kCut)));
  ASSERT_EQ(Run(), kDownloadFailed);
  // A cut is a failed download, not a damaged package.
  EXPECT_EQ(run_.reports().back().arguments,
            (std::vector<std::wstring>{kPackageUrl, kBodyCutShort}));
  EXPECT_TRUE(ReadFileBytes(package_) == site.substr(0, kCut)) << "the part stays";
  ASSERT_TRUE(ServerSet(L"fault=none"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == site);
  EXPECT_FALSE(FileExists(package_ + L".validator")) << "a whole needs no validator";

  std::vector<LoggedRequest> requests = PackageRequests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].range, "");
  EXPECT_EQ(requests[1].range, "bytes=1800000-");
  EXPECT_NE(requests[1].ifRange, "");
  EXPECT_EQ(requests[1].status, 206);
  double sent = static_cast<double>(requests[0].sent + requests[1].sent);
  printf("bytes sent over the package's size: %.4f\n", sent / site.size());
  EXPECT_LE(sent / site.size(), 1.02);

  // The bar and its text start at the bytes already there: 2,000,000 bytes
  // make 162 steps, the part of 1,800,000 fills 145 of them.
  std::vector<WorkerReport> steps = Steps();
  ASSERT_FALSE(steps.empty());
  EXPECT_EQ(run_.range(), 162u);
  EXPECT_EQ(steps[0].position, 145u);
  EXPECT_EQ(steps[0].text,
            L"正在下载 Quelda Manager 1.2.3.4 ...\r\n共 1,953 KB，已下载 1,757 KB。");
  EXPECT_EQ(steps.back().position, 162u);
}

TEST_F(ResumeServerIntegration, PackageAlreadyHereIsNotFetchedAgain) {
  UseFolder(L"resume_whole");
  ASSERT_TRUE(ServerServe(L"resume"));
  ASSERT_EQ(Run(), kDownloaded);
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerServe(L"resume"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(PackageRequests().empty());
  EXPECT_EQ(MessageNumbers(run_.reports()),
            (Numbers{kChecking, kDownloading, kDownloadStep, kDownloaded}));
  std::vector<WorkerReport> steps = Steps();
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].position, 162u);
  EXPECT_EQ(steps[0].text,
            L"正在下载 Quelda Manager 1.2.3.4 ...\r\n共 1,953 KB，已下载 1,953 KB。");
  EXPECT_TRUE(ReadFileBytes(package_) == SitePackage(L"resume"));
}

TEST_F(ResumeServerIntegration, RangeNotGrantedStartsOverAndEndsWhole) {
  struct Case {
    const wchar_t* site;
    const wchar_t* settings;
    std::vector<int> statuses;
  };
  const Case cases[] = {
      {L"resume", L"fault=norange", {200}},
      {L"resume", L"fault=unsatisfiable", {416, 200}},
      {L"resume", L"fault=misrange", {206, 200}},
      // The vendor replaced the package between the two tries: If-Range
      // fails, and the new one comes whole.
      {L"resume_changed", L"", {200}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.site << " " << c.settings);
    UseFolder(L"resume_refused");
    RunCut();
    ASSERT_TRUE(ServerServe(c.site, c.settings));
    ASSERT_EQ(Run(), kDownloaded);
    EXPECT_TRUE(ReadFileBytes(package_) == SitePackage(c.site));
    std::vector<LoggedRequest> requests = PackageRequests();
    EXPECT_EQ(Statuses(requests), c.statuses);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].range, "bytes=1800000-");
  }
}

TEST_F(ResumeServerIntegration, PartThatCannotBeTheDeclaredOneStartsOver) {
  std::string site = SitePackage(L"resume");
  // Longer than declared, even with a validator beside it.
  UseFolder(L"resume_longer");
  ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\download").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(package_, site + "xx"));
  SaveValidator(WStr(package_.c_str()), WStr(L"\"v\""));
  ASSERT_TRUE(ServerServe(L"resume"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == site);
  ASSERT_EQ(PackageRequests().size(), 1u);
  EXPECT_EQ(PackageRequests()[0].range, "");

  // A validator file that would carry a header of its own into the request.
  UseFolder(L"resume_injected");
  ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\download").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(package_, site.substr(0, kCut)));
  const wchar_t injected[] = L"\"v\"\r\nRange: bytes=0-1";
  ASSERT_TRUE(WriteFileBytes(
      package_ + L".validator",
      std::string(reinterpret_cast<const char*>(injected), sizeof injected - sizeof(wchar_t))));
  ASSERT_TRUE(ServerReset() && ServerServe(L"resume"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == site);
  ASSERT_EQ(PackageRequests().size(), 1u);
  EXPECT_EQ(PackageRequests()[0].range, "");

  // Continued to its size but not the declared bytes: deleted, and the
  // next try starts from zero.
  UseFolder(L"resume_damaged");
  RunCut();
  const size_t damaged = 1900000;
  ASSERT_NE(site[damaged], '\0');
  ASSERT_TRUE(ServerServe(L"resume", L"fault=zero&at=" + std::to_wstring(damaged)));
  ASSERT_EQ(Run(), kNotAZip);
  EXPECT_EQ(PackageRequests().back().status, 206);
  EXPECT_FALSE(FileExists(package_));
  EXPECT_FALSE(FileExists(package_ + L".validator"));
  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerServe(L"resume"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == site);
  EXPECT_EQ(PackageRequests().back().range, "");
}

// Install mode: a failed run keeps its part in the setup's scratch folder
// for the retry; a cancel, or the setup's end, takes it away.
TEST_F(ResumeServerIntegration, InstallModeRetryGoesOnFromTheScratchFolder) {
  UseFolder(L"resume_install");
  std::wstring staging = folder_ + L"\\staging";
  folder_ += L"\\offered";
  RunCut(staging);
  ASSERT_TRUE(ServerServe(L"resume"));
  ASSERT_EQ(Run(staging), kDownloaded);  // stopped while waiting: a cancel
  ASSERT_EQ(PackageRequests().size(), 1u);
  EXPECT_EQ(PackageRequests()[0].status, 206);
  EXPECT_FALSE(FileExists(staging));

  RunCut(staging);
  RemoveStagedDownloads(WStr((staging + L"\\").c_str()), true);
  EXPECT_FALSE(FileExists(staging));
  EXPECT_FALSE(FileExists(folder_)) << "the folder first offered was never made";
}

// The limit shortened through the test seam: only the end of the run is
// asserted, never when it comes.
TEST_F(ResumeServerIntegration, StalledTransferEndsAndTheRetryGoesOn) {
  // The rate floor's window is twice the stall limit: 4 s here, in which
  // the drip brings some 8 bytes.
  SetStallLimit(2000);
  for (const wchar_t* stall :
       {L"fault=stall&at=1000000&delay=600&only=zirorov.zip",
        L"fault=stall&at=0&delay=600&only=zirorov.zip", L"fault=hold&delay=600&only=zirorov.zip",
        L"fault=slow&delay=0&trickle=1&interval=0.5&only=zirorov.zip"}) {
    SCOPED_TRACE(testing::Message() << stall);
    UseFolder(L"resume_stall");
    ASSERT_TRUE(ServerReset());
    ASSERT_TRUE(ServerServe(L"resume", stall));
    EXPECT_EQ(Run(), kDownloadFailed);
    EXPECT_EQ(run_.reports().back().kind, kStatusFailed) << "the retry button shows";
    const std::vector<std::wstring> why = run_.reports().back().arguments;
    ASSERT_EQ(why.size(), wcsstr(stall, L"hold") ? 1u : 2u);
    if (wcsstr(stall, L"slow")) {
      EXPECT_EQ(why[1], kTransferTooSlow);
    }
    size_t part = ReadFileBytes(package_).size();
    EXPECT_LE(part, 1000000u);
    ASSERT_TRUE(ServerRelease());
    ASSERT_TRUE(ServerSet(L"fault=none"));
    ASSERT_EQ(Run(), kDownloaded);
    EXPECT_TRUE(ReadFileBytes(package_) == SitePackage(L"resume"));
    if (part > 0) {
      EXPECT_EQ(PackageRequests().back().status, 206);
    }
  }
}

// Debian's nginx with the vendor configuration of tools/nginx, serving the
// resume site: a part as a cut leaves it, with nginx's own validator, is
// continued with a real 206.
TEST(ResumeNginxIntegration, PartIsContinuedWithNginxsPartialReply) {
  std::string site = SiteFile(L"zirorov.zip");
  ASSERT_EQ(site.size(), 2000000u);
  Download first = DownloadLikeWorker(kPackageUrl);
  ASSERT_EQ(first.status, 200u);
  ASSERT_FALSE(first.etag.empty());
  std::wstring folder = MakeScratchDir(L"resume_nginx");
  std::wstring package = folder + L"\\download\\Quelda1.2.3.4.zip";
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\download").c_str(), nullptr));
  ASSERT_TRUE(WriteFileBytes(package, site.substr(0, kCut)));
  SaveValidator(WStr(package.c_str()), WStr(first.etag.c_str()));

  WorkerRun run;
  run.Start(folder);
  ASSERT_TRUE(run.WaitForReport([](const WorkerReport& r) {
    return r.id == ReportId::kDownloaded || r.kind == kStatusFailed;
  }));
  EXPECT_EQ(run.reports().back().id, ReportId::kDownloaded) << run.reports().back().text.c_str();
  EXPECT_TRUE(ReadFileBytes(package) == site);
  // Only an appended 206 starts the bar at the part: 145 of 162 steps.
  for (const WorkerReport& r : run.reports()) {
    if (r.id != ReportId::kDownloadStep) continue;
    EXPECT_EQ(r.position, 145u);
    break;
  }
}

}  // namespace

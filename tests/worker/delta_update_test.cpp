// An update fetched by difference against the stand-in server: the package
// kept from the last update gives what did not change, the rest comes by
// byte ranges, and the result is the server's package byte for byte,
// whatever goes wrong on the way.
#include <windows.h>
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "delta/package_index.h"
#include "support/server_control.h"
#include "support/stall_plan.h"
#include "support/test_paths.h"
#include "support/worker_run.h"

namespace {

std::string SitePackage(const wchar_t* site) {
  return ReadFileBytes(TestSite(site) + L"\\zirorov.zip");
}

// The bytes sent of the package's replies since the last reset, and how
// many requests there were.
size_t PackageBytesSent(int* requests = nullptr) {
  size_t sent = 0;
  int count = 0;
  for (const LoggedRequest& r : ServerRequests()) {
    if (r.path.find("zirorov.zip") == std::string::npos) continue;
    sent += r.sent;
    ++count;
  }
  if (requests) *requests = count;
  return sent;
}

// What the new package holds that the old one does not: the spans of the
// entries whose data is new, and the central directory with the end record.
size_t ChangedBytes() {
  PackageIndex old, next;
  EXPECT_TRUE(IndexPackageFile((TestSite(L"delta_old") + L"\\zirorov.zip").c_str(), &old));
  EXPECT_TRUE(IndexPackageFile((TestSite(L"delta_new") + L"\\zirorov.zip").c_str(), &next));
  size_t changed = next.size - next.directoryOffset;
  for (const IndexedEntry& entry : next.entries) {
    bool known = false;
    for (const IndexedEntry& before : old.entries) {
      known = known || (before.crc == entry.crc && before.compressedSize == entry.compressedSize);
    }
    if (!known) changed += entry.end - entry.offset;
  }
  return changed;
}

class DeltaServerIntegration : public ServerTest {
 protected:
  void TearDown() override {
    ResetStallLimit();
    ServerTest::TearDown();
  }
  // An installation whose last update left the old package; the server
  // holds the new one.
  void Prepare(const wchar_t* name, const std::string& oldPackage) {
    folder_ = MakeScratchDir(name);
    ASSERT_TRUE(CreateDirectoryW((folder_ + L"\\download").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(folder_ + L"\\download\\Quelda1.0.zip", oldPackage));
    package_ = folder_ + L"\\download\\Quelda2.0.zip";
  }
  // One run in update mode until it waits for the go-ahead or has failed.
  int Run() {
    run_.Start(folder_);
    EXPECT_TRUE(run_.WaitForReport([](const WorkerReport& r) {
      return r.id == ReportId::kDownloaded || r.kind == kStatusFailed;
    }));
    int last = MessageNumber(run_.reports().back());
    run_.Stop();
    return last;
  }

  WorkerRun run_;
  std::wstring folder_;
  std::wstring package_;
};

TEST_F(DeltaServerIntegration, OnlyWhatChangedIsFetchedAndTheResultIsTheServersPackage) {
  const std::string next = SitePackage(L"delta_new");
  Prepare(L"delta_update", SitePackage(L"delta_old"));
  ASSERT_TRUE(ServerServe(L"delta_new"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  int requests = 0;
  size_t sent = PackageBytesSent(&requests);
  double ratio = static_cast<double>(sent) / ChangedBytes();
  printf("%d requests, %zu bytes sent of %zu, %.3f of the changed bytes\n", requests, sent,
         next.size(), ratio);
  EXPECT_LE(ratio, 1.10);
  // The bar counts the copied bytes as there.
  const WorkerReport& last = run_.reports()[run_.reports().size() - 2];
  EXPECT_EQ(last.id, ReportId::kDownloadStep);
  EXPECT_EQ(last.position, run_.range());
}

TEST_F(DeltaServerIntegration, AnyDoubtFetchesTheWholePackage) {
  const std::string next = SitePackage(L"delta_new");
  const std::string old = SitePackage(L"delta_old");
  // Damaged on disk where its data is copied: the hash tells, and the
  // package comes whole once more.
  std::string damaged = old;
  damaged[damaged.size() / 2] ^= 0x55;
  Prepare(L"delta_damaged", damaged);
  ASSERT_TRUE(ServerServe(L"delta_new"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  EXPECT_EQ(ServerRequests().back().range, "") << "the whole, from its first byte";

  // A server that takes no ranges: its answer to the first is the whole
  // package, and nothing else is asked for.
  ASSERT_TRUE(ServerReset());
  Prepare(L"delta_no_ranges", old);
  ASSERT_TRUE(ServerServe(L"delta_new", L"fault=norange"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  double sent = static_cast<double>(PackageBytesSent()) / next.size();
  printf("ranges refused: %.4f package sizes sent\n", sent);
  EXPECT_LE(sent, 1.02);

  // A multipart reply whose part brings other bytes than asked for: what
  // came before it stays, the rest comes as a download that continues.
  ASSERT_TRUE(ServerReset());
  Prepare(L"delta_misparts", old);
  ASSERT_TRUE(ServerServe(L"delta_new", L"fault=misparts"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  const std::string rest = ServerRequests().back().range;
  EXPECT_TRUE(rest.rfind("bytes=", 0) == 0 && rest.back() == '-' && rest != "bytes=0-") << rest;

  // A server that answers several ranges with the first alone: one range
  // to a request from then on, and still only what changed.
  ASSERT_TRUE(ServerReset());
  Prepare(L"delta_first_range", old);
  ASSERT_TRUE(ServerServe(L"delta_new", L"fault=firstrange"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  int requests = 0;
  double ratio = static_cast<double>(PackageBytesSent(&requests)) / ChangedBytes();
  printf("first range alone: %d requests, %.3f of the changed bytes\n", requests, ratio);
  EXPECT_LE(ratio, 1.10);

  // An old package that is no zip: the whole, as without one.
  ASSERT_TRUE(ServerReset());
  Prepare(L"delta_not_zip", std::string(5000, 'x'));
  ASSERT_TRUE(ServerServe(L"delta_new"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
}

TEST_F(DeltaServerIntegration, CutDeltaGoesOnWhereItBrokeOff) {
  const std::string next = SitePackage(L"delta_new");
  Prepare(L"delta_cut", SitePackage(L"delta_old"));
  // Every reply ends after 150,000 bytes: the end and the directory come,
  // the ranges of Quelda.exe do not.
  ASSERT_TRUE(ServerServe(L"delta_new", L"fault=short&at=150000&only=zirorov.zip"));
  ASSERT_EQ(Run(), kDownloadFailed);
  size_t part = ReadFileBytes(package_).size();
  EXPECT_GT(part, 0u);
  EXPECT_LT(part, next.size());
  EXPECT_TRUE(ReadFileBytes(package_) == next.substr(0, part)) << "what is on disk is the start";
  size_t first = PackageBytesSent();

  ASSERT_TRUE(ServerReset());
  ASSERT_TRUE(ServerServe(L"delta_new"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  double ratio = static_cast<double>(first + PackageBytesSent()) / ChangedBytes();
  printf("cut and resumed: %.3f of the changed bytes sent in both\n", ratio);
  EXPECT_LE(ratio, 1.5);
}

// Debian's nginx with the vendor configuration of tools/nginx, serving the
// new release: its own multipart replies, its own validators.
class DeltaNginxIntegration : public DeltaServerIntegration {
 protected:
  void SetUp() override {}
  void TearDown() override { ResetStallLimit(); }
};

TEST_F(DeltaNginxIntegration, DeltaFromNginxIsTheServersPackage) {
  // The files nginx serves are the site's (QUELDA_SERVER_SITE).
  const std::string next = SiteFile(L"zirorov.zip");
  ASSERT_FALSE(next.empty());
  Prepare(L"delta_nginx", SitePackage(L"delta_old"));
  ASSERT_EQ(Run(), kDownloaded);
  EXPECT_TRUE(ReadFileBytes(package_) == next);
  // What nginx sent of the package, from its access log (combined format:
  // the status and the body bytes after the request line).
  const wchar_t* log = _wgetenv(L"QUELDA_NGINX_ACCESS_LOG");
  ASSERT_TRUE(log);
  std::wstring path = std::wstring(L"Z:") + log;
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  std::string text = ReadFileBytes(path);
  size_t sent = 0;
  int partial = 0;
  for (size_t at = 0; (at = text.find("zirorov.zip", at)) != std::string::npos; ++at) {
    size_t quote = text.find("\" ", at);
    int status = 0;
    unsigned long bytes = 0;
    if (quote != std::string::npos && sscanf(text.c_str() + quote + 2, "%d %lu", &status, &bytes) == 2) {
      sent += bytes;
      partial += status == 206;
    }
  }
  printf("nginx: %d partial replies, %zu bytes of %zu sent\n", partial, sent, next.size());
  EXPECT_GE(partial, 2);
  EXPECT_LT(sent, next.size() / 2);
}

}  // namespace

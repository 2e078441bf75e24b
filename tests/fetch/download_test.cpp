#include <gtest/gtest.h>

#include <string>

#include "app/setup_state.h"
#include "fetch/http_request.h"
#include "support/server_control.h"
#include "common/update_server.h"

namespace {

using DownloadIntegration = ServerTest;

TEST_F(DownloadIntegration, PackageAndDatabaseCarryTheirLength) {
  for (const wchar_t* url : {kPackageUrl, kDatabaseUrl}) {
    SCOPED_TRACE(testing::Message() << url);
    std::string file = SiteFile(url == kPackageUrl ? L"zirorov.zip" : L"quelda.mdb");
    ASSERT_FALSE(file.empty());
    Download d = DownloadLikeWorker(url);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(200u, d.status);
    EXPECT_EQ(file.size(), d.contentLength);
    EXPECT_TRUE(d.body == file);
  }
}

TEST_F(DownloadIntegration, FaultsAsTheWorkerMeetsThem) {
  std::string file = SiteFile(L"zirorov.zip");

  ASSERT_TRUE(ServerSet(L"fault=chunked"));
  Download d = DownloadLikeWorker(kPackageUrl);
  EXPECT_EQ(200u, d.status);
  EXPECT_EQ(0u, d.contentLength) << "a chunked reply has no length";

  ASSERT_TRUE(ServerSet(L"fault=notfound"));
  d = DownloadLikeWorker(kPackageUrl);
  EXPECT_EQ(404u, d.status);
  EXPECT_EQ(d.body.size(), d.contentLength) << "an error page with its length";
  EXPECT_NE(std::string::npos, d.body.find("404 Not Found"));

  ASSERT_TRUE(ServerSet(L"fault=short&at=100"));
  d = DownloadLikeWorker(kPackageUrl);
  EXPECT_EQ(file.size(), d.contentLength);
  EXPECT_TRUE(d.body == file.substr(0, 100));

  ASSERT_TRUE(ServerSet(L"fault=reset&at=100"));
  d = DownloadLikeWorker(kPackageUrl);
  EXPECT_LE(d.body.size(), 100u);
  EXPECT_TRUE(d.body == file.substr(0, d.body.size()));
}

// Debian's nginx with the configuration of tools/nginx serving the demo
// folder over TLS on loopback.
TEST(NginxIntegration, ManifestAndPackageFromNginx) {
  if (!gCancelEvent) gCancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(gCancelEvent);
  std::string manifest = SiteFile(L"quelda.xml");
  ASSERT_FALSE(manifest.empty());
  ByteStr body = FetchVersionManifest(gCancelEvent);
  EXPECT_TRUE(std::string(body.c_str(), body.size()) == manifest);

  for (const wchar_t* url : {kPackageUrl, kDatabaseUrl}) {
    SCOPED_TRACE(testing::Message() << url);
    std::string file = SiteFile(url == kPackageUrl ? L"zirorov.zip" : L"quelda.mdb");
    Download d = DownloadLikeWorker(url);
    ASSERT_TRUE(d.opened);
    EXPECT_EQ(200u, d.status);
    EXPECT_EQ(file.size(), d.contentLength);
    EXPECT_TRUE(d.body == file);
  }
}

}  // namespace

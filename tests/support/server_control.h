#pragma once

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

// The stand-in update server as tests see it: its control paths (plain HTTP
// on 127.0.0.1:80) and the folder it serves.

// Applies settings for the following requests, e.g. L"fault=slow&delay=30".
bool ServerSet(const std::wstring& query);
// Back to the settings the server started with; clears its request log.
bool ServerReset();
// Lets the requests held by fault=hold go on, and holds no more until the
// next ServerSet.
bool ServerRelease();
// A folder of the build's test sites (update_server/sites/<name>).
std::wstring TestSite(const wchar_t* name);
// Serves that test site from now on, with further settings if given.
bool ServerServe(const wchar_t* site, const std::wstring& settings = L"");

// Tests that talk to the server: it must answer at the start, and each
// test leaves it with the settings it started with.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ServerReset()) << "the stand-in server does not answer"; }
  void TearDown() override { ServerReset(); }
};

struct LoggedRequest {
  std::string scheme;  // "https" or "http"
  int port = 0;
  std::string method;
  std::string path;  // with the query
  std::string host;  // the Host header
  std::string contentType;
  size_t bodyLength = 0;
  std::string range;    // the Range header
  std::string ifRange;  // the If-Range header
  int status = 0;       // of the reply, once sent
  size_t sent = 0;      // body bytes sent so far
  std::string userAgent;
  std::string acceptEncoding;
};
// The requests the server answered since the last reset, oldest first.
std::vector<LoggedRequest> ServerRequests();

// A file of the folder the server serves (QUELDA_SERVER_SITE).
std::string SiteFile(const wchar_t* name);

// A download the way the install worker makes it: InternetOpenUrlW on a
// session of its own with reload and no-cache-write, the Content-Length as a
// number, the body read in 4,096-byte reads until a read gives nothing.
struct Download {
  bool opened = false;
  DWORD contentLength = 0;
  DWORD status = 0;
  std::wstring etag;
  std::string body;
};
Download DownloadLikeWorker(const std::wstring& url);

// The system's proxy, as the Internet settings name it, set for the
// object's life: every WinInet session opened with the preconfigured
// settings meanwhile reaches the update server through CONNECT there. By
// default the stand-in server's plain port (ServerSet "proxy=").
class StandInProxy {
 public:
  explicit StandInProxy(const wchar_t* server = L"127.0.0.1:80");
  ~StandInProxy();
  StandInProxy(const StandInProxy&) = delete;
  StandInProxy& operator=(const StandInProxy&) = delete;
  bool set() const { return set_; }

 private:
  bool set_ = false;
};

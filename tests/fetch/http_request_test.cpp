#include "fetch/http_request.h"
#include "fetch/internet_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <functional>

#include "app/setup_state.h"
#include "common/update_server.h"
#include "support/clock.h"
#include "support/server_control.h"
#include "support/window_finder.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Thread is missing from this compiler's Win32 thread model.
class Thread {
 public:
  explicit Thread(std::function<void()> run) : run_(std::move(run)) {
    handle_ = CreateThread(nullptr, 0, Start, this, 0, nullptr);
  }
  ~Thread() { join(); }
  void join() {
    if (!handle_) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Start(void* self) {
    static_cast<Thread*>(self)->run_();
    return 0;
  }
  std::function<void()> run_;
  HANDLE handle_ = nullptr;
};

std::string Bytes(const ByteStr& s) { return std::string(s.c_str(), s.size()); }

// RunHttpRequest on the calling thread with a session of its own; hostLeft
// receives what the request left in url (the server name it connected to).
std::string RunRequest(const wchar_t* url, std::wstring* hostLeft = nullptr,
                       const std::string& post = std::string()) {
  InternetLine line;
  EXPECT_TRUE(line.Open());
  HttpRequest request;
  request.line = &line;
  request.url = url;
  request.postData = ByteStr(post.data(), post.size());
  EXPECT_EQ(0u, RunHttpRequest(&request));
  if (hostLeft) *hostLeft = request.url.c_str();
  return Bytes(request.body);
}

const char kManifestPath[] = "/zaradizazavor/download/quelda.xml";

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ServerReset()) << "the stand-in server does not answer";
    if (!gCancelEvent) gCancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(gCancelEvent);
    manifest_ = SiteFile(L"quelda.xml");
    // Several 4,095-byte reads, so that appending is exercised.
    ASSERT_GT(manifest_.size(), 3 * 4095u);
  }
  void TearDown() override {
    ResetEvent(gCancelEvent);
    ServerReset();
  }
  std::string manifest_;
};

using ManifestIntegration = ServerTest;
using RequestUrlIntegration = ServerTest;
using CancelIntegration = ServerTest;
using TimeLimitSlow = ServerTest;

TEST_F(ManifestIntegration, ArrivesWholeOverHttpsAsGetWithTheFormHeader) {
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)));
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)))
      << "a second fetch, nothing cached";

  auto requests = ServerRequests();
  ASSERT_EQ(2u, requests.size());
  for (const auto& r : requests) {
    EXPECT_EQ("https", r.scheme);
    EXPECT_EQ(443, r.port);
    EXPECT_EQ("GET", r.method);
    EXPECT_EQ(kManifestPath, r.path);
    EXPECT_EQ("localhost", r.host);
    EXPECT_EQ("application/x-www-form-urlencoded", r.contentType);
    EXPECT_EQ(0u, r.bodyLength);
  }
}

TEST_F(ManifestIntegration, BodyWithoutContentLengthCountsAnErrorPageDoesNot) {
  SmallReply reply;
  ASSERT_TRUE(ServerSet(L"fault=chunked"));
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  EXPECT_EQ(reply.status, 200u);

  ASSERT_TRUE(ServerSet(L"fault=notfound"));
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  EXPECT_EQ(reply.status, 404u);
  EXPECT_EQ("", Bytes(FetchManifestSignature(gCancelEvent, &reply)));
  EXPECT_EQ(reply.status, 404u);
  // A status with a body, as a proxy or a captive portal answers.
  ASSERT_TRUE(ServerSet(L"fault=status&code=403"));
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  EXPECT_EQ(reply.status, 403u);
}

TEST_F(ManifestIntegration, HttpsToTheEndAndEncodingsDecoded) {
  SmallReply reply;
  // Redirected within https: followed.
  ASSERT_TRUE(ServerSet(L"fault=redirect&to=https"));
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  // Away to plain http: nothing, naming where it led, although the
  // stand-in answers there with the manifest.
  ASSERT_TRUE(ServerSet(L"fault=redirect&to=http"));
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  EXPECT_EQ(0, _wcsnicmp(reply.ledTo.c_str(), L"http://", 7)) << reply.ledTo.size();
  // A server that compresses although the identity was asked for.
  for (const wchar_t* coding : {L"gzip", L"deflate"}) {
    ASSERT_TRUE(ServerSet(std::wstring(L"fault=encoded&coding=") + coding));
    EXPECT_TRUE(manifest_ == Bytes(FetchVersionManifest(gCancelEvent, &reply)))
        << coding << " " << reply.status << " " << reply.encoding.size();
  }
  ASSERT_TRUE(ServerSet(L"fault=encoded&coding=br"));
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent, &reply)));
  EXPECT_STREQ(L"br", reply.encoding.c_str());
  for (const LoggedRequest& r : ServerRequests()) {
    EXPECT_EQ("identity", r.acceptEncoding) << r.path;
  }
}

TEST_F(ManifestIntegration, ZeroByteEndsOnlyItsOwnChunk) {
  // The zero byte lies in the first 4,095-byte read: the rest of that read
  // is lost, every later read is appended whole.
  ASSERT_TRUE(ServerSet(L"fault=zero&at=100"));
  std::string body = Bytes(FetchVersionManifest(gCancelEvent));
  EXPECT_EQ(manifest_.substr(0, 100) + manifest_.substr(4095), body);

  // In the third read.
  ASSERT_TRUE(ServerSet(L"fault=zero&at=9000"));
  body = Bytes(FetchVersionManifest(gCancelEvent));
  EXPECT_EQ(manifest_.substr(0, 9000) + manifest_.substr(3 * 4095), body);
}

TEST_F(ManifestIntegration, BodyBrokenOffEarlyKeepsWhatCame) {
  // The request thread ends before the wait does: what was read is the body.
  ASSERT_TRUE(ServerSet(L"fault=short&at=5000"));
  EXPECT_EQ(manifest_.substr(0, 5000), Bytes(FetchVersionManifest(gCancelEvent)));

  ASSERT_TRUE(ServerSet(L"fault=reset&at=5000"));
  std::string body = Bytes(FetchVersionManifest(gCancelEvent));
  EXPECT_EQ(manifest_.substr(0, body.size()), body);
  EXPECT_LE(body.size(), 5000u);
}

TEST_F(ManifestIntegration, ReplyLongerThanAnyManifestGivesEmptyBody) {
  // 40,000,000 bytes served as fast as they are taken: reading stops at
  // 64 KB, and the fetch ends long before the package could arrive.
  ASSERT_TRUE(ServerServe(L"big"));
  EXPECT_EQ("", RunRequest(L"https://localhost/zaradizazavor/download/zirorov.zip"));
}

TEST_F(ManifestIntegration, UntrustedCertificateGivesEmptyBody) {
  ASSERT_TRUE(ServerSet(L"cert=untrusted"));
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent)));
  EXPECT_EQ(0u, ServerRequests().size()) << "no request may follow the refused handshake";
  // Refused for its certificate, not for anything else. (Wine reports the
  // unknown authority's chain as one whose revocation cannot be checked.)
  HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET url = InternetOpenUrlW(session, kManifestUrl, nullptr, 0, INTERNET_FLAG_RELOAD, 0);
  DWORD error = GetLastError();
  EXPECT_EQ(nullptr, url);
  EXPECT_TRUE(error == ERROR_INTERNET_INVALID_CA || error == ERROR_INTERNET_SEC_CERT_REV_FAILED)
      << error;
  if (url) InternetCloseHandle(url);
  InternetCloseHandle(session);

  ASSERT_TRUE(ServerSet(L"cert=trusted"));
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)))
      << "the same server, trusted again";
}

TEST_F(ManifestIntegration, ServerAnswersWhileAnotherRequestWaits) {
  std::string heldBody;
  Thread held([&] {
    heldBody =
        RunRequest(L"https://localhost/zaradizazavor/download/quelda.xml?fault=hold&delay=60");
  });
  // The server holds that request until it is released.
  ASSERT_TRUE(WaitUntil([] { return ServerRequests().size() == 1; }, kPatience));
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)));
  ASSERT_TRUE(ServerRelease());
  held.join();
  EXPECT_EQ(manifest_, heldBody);
}

TEST_F(RequestUrlIntegration, SchemeDecidesPortAndSecurityIgnoringCase) {
  std::wstring host;
  EXPECT_EQ(manifest_, RunRequest(L"HTTPS://localhost/zaradizazavor/download/quelda.xml", &host));
  EXPECT_EQ(L"localhost", host);
  EXPECT_EQ(manifest_, RunRequest(L"HtTp://localhost/zaradizazavor/download/quelda.xml", &host));
  EXPECT_EQ(L"localhost", host);
  // No scheme: plain HTTP on port 80, the text up to the first "/" as host.
  EXPECT_EQ(manifest_, RunRequest(L"localhost/zaradizazavor/download/quelda.xml", &host));
  EXPECT_EQ(L"localhost", host);

  auto requests = ServerRequests();
  ASSERT_EQ(3u, requests.size());
  EXPECT_EQ("https", requests[0].scheme);
  EXPECT_EQ(443, requests[0].port);
  EXPECT_EQ("http", requests[1].scheme);
  EXPECT_EQ(80, requests[1].port);
  EXPECT_EQ("http", requests[2].scheme);
  EXPECT_EQ(80, requests[2].port);
  EXPECT_EQ(kManifestPath, requests[2].path);
}

TEST_F(RequestUrlIntegration, HostAloneAsksForTheEmptyPath) {
  std::wstring host;
  std::string body = RunRequest(L"https://localhost", &host);
  EXPECT_EQ(L"localhost", host);
  EXPECT_NE(std::string::npos, body.find("404 Not Found")) << body;
  auto requests = ServerRequests();
  ASSERT_EQ(1u, requests.size());
  EXPECT_EQ("https", requests[0].scheme);
  // WinInet sends an empty object path as the root.
  EXPECT_EQ("/", requests[0].path);
}

TEST_F(RequestUrlIntegration, PortStaysPartOfTheServerName) {
  // "localhost:443" names no host: nothing is parsed out of it, nothing
  // reaches the server although it listens on that very port.
  std::wstring host;
  EXPECT_EQ("", RunRequest(L"https://localhost:443/zaradizazavor/download/quelda.xml", &host));
  EXPECT_EQ(L"localhost:443", host);
  EXPECT_EQ(0u, ServerRequests().size());
}

TEST_F(RequestUrlIntegration, QueryStaysInThePathAndPostDataMakesAPost) {
  std::string page =
      RunRequest(L"https://localhost/zaradizazavor/download/quelda.xml?fault=notfound");
  EXPECT_NE(std::string::npos, page.find("404 Not Found"));
  EXPECT_EQ(manifest_,
            RunRequest(L"https://localhost/zaradizazavor/download/quelda.xml", nullptr, "a=1&b=2"));
  auto requests = ServerRequests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(std::string(kManifestPath) + "?fault=notfound", requests[0].path);
  EXPECT_EQ("GET", requests[0].method);
  EXPECT_EQ("POST", requests[1].method);
  EXPECT_EQ(7u, requests[1].bodyLength);
  EXPECT_EQ("application/x-www-form-urlencoded", requests[1].contentType);
}

TEST_F(CancelIntegration, CancelBeforeTheCallGivesEmptyBodyAtOnce) {
  SetEvent(gCancelEvent);
  auto start = Clock::now();
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent)));
  EXPECT_LT(SecondsSince(start), kPromptly / 1000.0);
}

// The fetch runs on another thread; the cancel comes once the server has
// the request and `after` ms more have passed. The server's reply cannot
// be complete by then, so only the cancel can end the fetch before its
// 15 s limit.
void ExpectCancelReturnsPromptly(DWORD after) {
  ByteStr body("not empty");
  Clock::time_point returned;
  Thread fetch([&] {
    body = FetchVersionManifest(gCancelEvent);
    returned = Clock::now();
  });
  ASSERT_TRUE(WaitUntil([] { return ServerRequests().size() == 1; }, kPatience));
  Sleep(after);
  auto cancelled = Clock::now();
  SetEvent(gCancelEvent);
  fetch.join();
  double seconds = std::chrono::duration<double>(returned - cancelled).count();
  EXPECT_LT(seconds, kPromptly / 1000.0);
  EXPECT_EQ("", Bytes(body));
  std::printf("returned %.3f s after the cancel\n", seconds);
}

TEST_F(CancelIntegration, CancelWhileTheServerWithholdsItsReplyReturnsPromptly) {
  ASSERT_TRUE(ServerSet(L"fault=hold&delay=60"));
  ExpectCancelReturnsPromptly(0);
  // Fetching goes on normally while the request thread left behind waits,
  // and afterwards, when it has got its reply.
  ASSERT_TRUE(ServerSet(L"fault=none"));
  ResetEvent(gCancelEvent);
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)));
  ASSERT_TRUE(ServerRelease());
  EXPECT_EQ(manifest_, Bytes(FetchVersionManifest(gCancelEvent)));
  EXPECT_EQ(3u, ServerRequests().size());
}

TEST_F(CancelIntegration, CancelWhileTheBodyTricklesInDropsWhatCame) {
  // 100 bytes every half second: the body takes a minute.
  ASSERT_TRUE(ServerSet(L"fault=slow&delay=0&trickle=100&interval=0.5"));
  ExpectCancelReturnsPromptly(1500);
}

// The limit's two sides: never before 15 s, and soon after (the replies
// below would take far longer).
void ExpectEmptyBodyAtTheTimeLimit() {
  auto start = Clock::now();
  EXPECT_EQ("", Bytes(FetchVersionManifest(gCancelEvent)));
  double seconds = SecondsSince(start);
  std::printf("returned after %.3f s\n", seconds);
  EXPECT_GE(seconds, 14.5);
  EXPECT_LT(seconds, 15.0 + kPromptly / 1000.0);
}

TEST_F(TimeLimitSlow, SilentServerGivesEmptyBodyAfterFifteenSeconds) {
  ASSERT_TRUE(ServerSet(L"fault=hold&delay=60"));
  ExpectEmptyBodyAtTheTimeLimit();
}

TEST_F(TimeLimitSlow, TrickleLongerThanFifteenSecondsGivesEmptyBody) {
  // The limit covers the whole exchange, not the wait for the first byte:
  // this body takes 37 s.
  ASSERT_TRUE(ServerSet(L"fault=slow&delay=0&trickle=100&interval=0.3"));
  ExpectEmptyBodyAtTheTimeLimit();
}

}  // namespace

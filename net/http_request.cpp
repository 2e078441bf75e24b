#include "net/http_request.h"

#include <string.h>
#include <wchar.h>

#include "app/setup_state.h"
#include "common/scoped.h"
#include "net/update_server.h"

namespace {

constexpr DWORD kPlainFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kSecureFlags = kPlainFlags | INTERNET_FLAG_SECURE;
constexpr wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
constexpr DWORD_PTR kContext = 1;

}  // namespace

DWORD WINAPI RunHttpRequest(void* param) {
  HttpRequest* request = static_cast<HttpRequest*>(param);
  WStr& url = request->url;

  INTERNET_PORT port = INTERNET_DEFAULT_HTTP_PORT;
  DWORD flags = kPlainFlags;
  if (_wcsnicmp(url.c_str(), L"https://", 8) == 0) {
    url = url.Substr(8);
    flags = kSecureFlags;
    port = INTERNET_DEFAULT_HTTPS_PORT;
  } else if (_wcsnicmp(url.c_str(), L"http://", 7) == 0) {
    url = url.Substr(7);
  }

  // No port, user or fragment parsing: everything before the first "/" is
  // the server name.
  WStr objectPath;
  size_t slash = url.Find(L'/');
  if (slash != WStr::npos) {
    objectPath = url.Substr(slash);
    url.Resize(slash);
  }

  ScopedInternetHandle connection(InternetConnectW(request->session, url.c_str(), port, nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) return 0;

  const wchar_t* verb = request->postData.empty() ? L"GET" : L"POST";
  ScopedInternetHandle http(HttpOpenRequestW(connection.get(), verb, objectPath.c_str(), nullptr,
                                             nullptr, nullptr, flags, kContext));
  if (!http) return 0;

  if (!HttpSendRequestW(http.get(), kFormHeader, static_cast<DWORD>(-1), request->postData.data(),
                        static_cast<DWORD>(request->postData.size()))) {
    return 0;
  }

  // One byte is kept free so that every chunk ends in a zero: a zero byte
  // inside the body ends that chunk's contribution.
  char buffer[4096];
  memset(buffer, 0, sizeof buffer);
  for (;;) {
    DWORD count = 0;
    // A failed read leaves count at 0 and ends the body like its end would.
    InternetReadFile(http.get(), buffer, sizeof buffer - 1, &count);
    if (count == 0) break;
    buffer[count] = 0;
    request->body.Append(buffer, strlen(buffer));
  }
  // The owners close the request before the connection.
  return 0;
}

ByteStr FetchVersionManifest() {
  HttpRequest request;
  request.url = kManifestUrl;
  request.cancelEvent = gCancelEvent;

  ScopedInternetHandle session(
      InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return ByteStr();
  request.session = session.get();

  ScopedHandle thread(CreateThread(nullptr, 0, RunHttpRequest, &request, 0, nullptr));
  request.thread = thread.get();
  // A thread that could not start makes this wait fail, which clears the body.
  DWORD waited = WaitForMultipleObjects(2, &request.thread, FALSE, kManifestTimeLimitMs);
  // Closing the session makes any WinInet call still blocked in the thread
  // return, so the join below is short.
  session.Reset();
  if (thread) WaitForSingleObject(thread.get(), INFINITE);
  thread.Reset();
  request.thread = nullptr;

  if (waited != WAIT_OBJECT_0) request.body.Clear();
  return request.body;
}

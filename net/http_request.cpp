#include "net/http_request.h"

#include <new>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/scoped.h"
#include "net/update_server.h"

namespace {

constexpr DWORD kPlainFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kSecureFlags = kPlainFlags | INTERNET_FLAG_SECURE;
constexpr wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
constexpr DWORD_PTR kContext = 1;

// Null once the caller has closed the session. Closing the session closed
// the handles derived from it; their values may already name someone else's
// handles, so they must be neither used nor closed again.
HINTERNET LiveSession(HttpRequest* request) {
  return static_cast<HINTERNET>(
      InterlockedCompareExchangePointer(&request->session, nullptr, nullptr));
}

// The record on the heap, owned by the caller and the request thread
// together: a caller that gives up on a blocked thread returns at once, and
// the last of the two frees the record.
struct SharedRequest {
  HttpRequest request;
  LONG references;
};

void Release(SharedRequest* shared) {
  if (InterlockedDecrement(&shared->references) == 0) {
    shared->~SharedRequest();
    free(shared);
  }
}

DWORD WINAPI RequestThread(void* param) {
  SharedRequest* shared = static_cast<SharedRequest*>(param);
  RunHttpRequest(&shared->request);
  Release(shared);
  return 0;
}

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

  HINTERNET session = LiveSession(request);
  if (!session) return 0;
  ScopedInternetHandle connection(InternetConnectW(session, url.c_str(), port, nullptr, nullptr,
                                                   INTERNET_SERVICE_HTTP, 0, kContext));
  if (!connection) return 0;

  const wchar_t* verb = request->postData.empty() ? L"GET" : L"POST";
  ScopedInternetHandle http(HttpOpenRequestW(connection.get(), verb, objectPath.c_str(), nullptr,
                                             nullptr, nullptr, flags, kContext));
  bool sent = http && HttpSendRequestW(http.get(), kFormHeader, static_cast<DWORD>(-1),
                                       request->postData.data(),
                                       static_cast<DWORD>(request->postData.size()));

  // One byte is kept free so that every chunk ends in a zero: a zero byte
  // inside the body ends that chunk's contribution.
  char buffer[4096];
  memset(buffer, 0, sizeof buffer);
  size_t received = 0;
  while (sent && LiveSession(request)) {
    DWORD count = 0;
    // A failed read leaves count at 0 and ends the body like its end would.
    InternetReadFile(http.get(), buffer, sizeof buffer - 1, &count);
    if (count == 0) break;
    // Counted as read, not as kept: zero bytes keep nothing but still come.
    received += count;
    if (received > kMaxReplyBytes) {
      request->body = ByteStr();
      break;
    }
    buffer[count] = 0;
    request->body.Append(buffer, strlen(buffer));
  }

  if (!LiveSession(request)) {
    static_cast<void>(http.Take());
    static_cast<void>(connection.Take());
  }
  // Otherwise the owners close the request before the connection.
  return 0;
}

ByteStr FetchVersionManifest(HANDLE cancelEvent) {
  ScopedInternetHandle session(
      InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return ByteStr();

  void* memory = calloc(1, sizeof(SharedRequest));
  if (!memory) return ByteStr();
  SharedRequest* shared = new (memory) SharedRequest();
  HttpRequest& request = shared->request;
  request.url = kManifestUrl;
  request.cancelEvent = cancelEvent;
  request.session = session.get();
  shared->references = 2;

  ScopedThread thread(CreateThread(nullptr, 0, RequestThread, shared, 0, nullptr));
  if (!thread) shared->references = 1;
  request.thread = thread.get();
  // A thread that could not start makes this wait fail, which clears the body.
  DWORD waited = WaitForMultipleObjects(2, &request.thread, FALSE, kManifestTimeLimitMs);

  // The thread must see the session gone before it is closed, never a closed
  // handle's value.
  InterlockedExchangePointer(&request.session, nullptr);
  session.Reset();
  // A thread still blocked after this is left to end on its own.
  if (thread) WaitForSingleObject(thread.get(), kRequestJoinMs);

  ByteStr body;
  // Only result 0 says that the thread has ended and its body is whole.
  if (waited == WAIT_OBJECT_0) body = request.body;
  Release(shared);
  return body;
}

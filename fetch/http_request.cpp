#include "fetch/http_request.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "common/scoped.h"
#include "fetch/body_decoding.h"
#include "fetch/download_request.h"
#include "fetch/proxy_password.h"
#include "fetch/internet_line.h"
#include "fetch/reply_headers.h"
#include "common/update_server.h"

namespace {

constexpr DWORD kPlainFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kSecureFlags = kPlainFlags | INTERNET_FLAG_SECURE;
// The identity is asked for; a server that compresses anyway is decoded
// here (gzip, deflate). Not by WinInet: Wine's decoding drops the reply's
// Content-Encoding and then answers the query for it with another header.
constexpr wchar_t kFormHeader[] =
    L"Content-Type: application/x-www-form-urlencoded\r\nAccept-Encoding: identity\r\n";

bool Stopped(const HttpRequest* request) {
  return InterlockedCompareExchange(const_cast<volatile LONG*>(&request->stopped), 0, 0) != 0;
}

// The record on the heap, owned by the caller and the request thread
// together: a caller that gives up on a blocked thread returns at once, and
// the last of the two deletes the record. The session goes with it, unless
// the caller cut it earlier to end a blocked call.
struct SharedRequest {
  // From the process heap: operator new would link the C++ library's
  // exception support into the setup.
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
  }
  static void operator delete(void* memory) { HeapFree(GetProcessHeap(), 0, memory); }
  static void operator delete(void* memory, const std::nothrow_t&) { operator delete(memory); }

  HttpRequest request;
  InternetLine line;
  volatile LONG references = 2;
};

void Drop(SharedRequest* shared) {
  if (InterlockedDecrement(&shared->references) == 0) delete shared;
}

DWORD WINAPI RequestThread(void* param) {
  SharedRequest* shared = static_cast<SharedRequest*>(param);
  RunHttpRequest(&shared->request);
  Drop(shared);
  return 0;
}

}  // namespace

DWORD WINAPI RunHttpRequest(void* param) {
  HttpRequest* request = static_cast<HttpRequest*>(param);
  InternetLine* line = request->line;
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

  DownloadRequest opened(line);
  RequestForm form;
  form.verb = request->postData.empty() ? L"GET" : L"POST";
  form.headers = kFormHeader;
  form.data = request->postData.c_str();
  form.dataSize = static_cast<DWORD>(request->postData.size());
  RequestTarget target;
  target.host = url.c_str();
  target.port = port;
  target.path = objectPath.c_str();
  target.flags = flags;
  bool sent = false;
  bool encoded = false;
  {
    LineUse use(line);
    if (!use.open() || Stopped(request)) return 0;
    sent = SendRequest(&use, target, form, &opened);
    if (sent) {
      const ReplyHeaders& reply = opened.reply;
      request->status = reply.status;
      // WinInet follows redirects itself: the reply must still come over
      // https when the request went there.
      if (flags == kSecureFlags) request->ledTo = ReplyLeftHttps(opened.request.get());
      if (!request->ledTo.empty()) sent = false;
      encoded = !Unencoded(reply);
      if (encoded && !DecodedEncoding(reply.contentEncoding)) {
        request->encoding = reply.contentEncoding;
        sent = false;
      }
    }
  }
  HINTERNET http = opened.request.get();

  // One byte is kept free so that every chunk ends in a zero: a zero byte
  // inside the body ends that chunk's contribution.
  char buffer[4096];
  memset(buffer, 0, sizeof buffer);
  size_t received = 0;
  while (sent && !Stopped(request)) {
    DWORD count = 0;
    {
      LineUse use(line);
      if (!use.open()) break;
      use.EnterCall();
      // A failed read leaves count at 0 and ends the body like its end would.
      InternetReadFile(http, buffer, sizeof buffer - 1, &count);
      use.LeaveCall();
    }
    if (count == 0) break;
    // Counted as read, not as kept: zero bytes keep nothing but still come.
    received += count;
    if (received > kMaxReplyBytes) {
      request->body = ByteStr();
      break;
    }
    buffer[count] = 0;
    // Compressed bytes hold zeros of their own: the text's rule applies
    // to what they decode to.
    request->body.Append(buffer, request->keepZeros || encoded ? count : strlen(buffer));
  }
  if (encoded && sent && !request->body.empty()) {
    ByteStr decoded;
    if (!DecodeBody(request->body, kMaxReplyBytes, &decoded)) decoded = ByteStr();
    if (!request->keepZeros) decoded.Resize(strlen(decoded.c_str()));
    request->body = decoded;
  }

  return 0;
}

namespace {

ByteStr FetchSmallFile(const wchar_t* url, bool keepZeros, HANDLE cancelEvent,
                       SmallReply* reply) {
  SmallReply ignored;
  if (!reply) reply = &ignored;
  *reply = SmallReply();
  SharedRequest* shared = new (std::nothrow) SharedRequest();
  if (!shared) return ByteStr();
  if (!shared->line.Open()) {
    delete shared;
    return ByteStr();
  }
  HttpRequest& request = shared->request;
  request.url = url;
  request.keepZeros = keepZeros;
  request.cancelEvent = cancelEvent;
  request.line = &shared->line;

  ScopedThread thread(CreateThread(nullptr, 0, RequestThread, shared, 0, nullptr));
  if (!thread) shared->references = 1;
  request.thread = thread.get();
  // A thread that could not start makes this wait fail, which clears the body.
  DWORD waited = WAIT_TIMEOUT;
  // The limit does not run while the user answers a proxy's prompt: it
  // starts again after it.
  do {
    waited = WaitForMultipleObjects(2, &request.thread, FALSE, kManifestTimeLimitMs);
  } while (waited == WAIT_TIMEOUT && ProxyPromptShowing());

  if (waited != WAIT_OBJECT_0 && thread) {
    InterlockedExchange(&request.stopped, 1);
    DWORD start = GetTickCount();
    // The cut ends a call that blocks on the network; a thread that does
    // not end soon after is left to end on its own, and the session then
    // closes with the record.
    if (shared->line.Cut(kRequestJoinMs)) {
      DWORD spent = GetTickCount() - start;
      if (spent < kRequestJoinMs) WaitForSingleObject(thread.get(), kRequestJoinMs - spent);
    }
  }

  ByteStr body;
  // Only result 0 says that the thread has ended and its body is whole.
  if (waited == WAIT_OBJECT_0) {
    reply->status = request.status;
    reply->ledTo = request.ledTo;
    reply->encoding = request.encoding;
    bool refused = !request.ledTo.empty() || !request.encoding.empty();
    if (request.status == 200 && !refused) body = request.body;
  }
  Drop(shared);
  return body;
}

}  // namespace

ByteStr FetchVersionManifest(HANDLE cancelEvent, SmallReply* reply) {
  return FetchSmallFile(kManifestUrl, /*keepZeros=*/false, cancelEvent, reply);
}

ByteStr FetchManifestSignature(HANDLE cancelEvent, SmallReply* reply) {
  return FetchSmallFile(kSignatureUrl, /*keepZeros=*/true, cancelEvent, reply);
}

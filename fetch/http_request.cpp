#include "fetch/http_request.h"

#include <new>
#include <string.h>
#include <wchar.h>

#include "common/scoped.h"
#include "common/update_server.h"

// Closing the session is how FetchVersionManifest ends a call that blocks on
// the network, and it destroys the connection and the request with it: their
// values may then name handles opened since, so they must be neither used
// nor closed again. The gate makes "the session is open" and "use a handle"
// one step against that close: the request thread holds it for every use of
// its handles, the caller closes the session only while holding it. A call
// that may block gives the gate up from inside, at its first status callback:
// by then the call holds its handle, and the close can only make it fail.
struct RequestGate {
  // Auto-reset, signalled while nobody holds the gate.
  ScopedEvent free;
  // Under the gate.
  bool sessionClosed = false;
  // Set by the caller once it has stopped waiting for the result.
  volatile LONG stopped = 0;
};

namespace {

constexpr DWORD kPlainFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kSecureFlags = kPlainFlags | INTERNET_FLAG_SECURE;
constexpr wchar_t kFormHeader[] = L"Content-Type: application/x-www-form-urlencoded\r\n";
constexpr DWORD_PTR kContext = 1;

// The gate of the call in progress on this thread that still holds it.
// In a thread-local slot of the system's own: a C++ thread_local links the
// compiler's emulation of it into the setup. Allocated before any thread
// of the setup's starts.
const DWORD gCallGateSlot = TlsAlloc();

RequestGate* CallGate() {
  return gCallGateSlot == TLS_OUT_OF_INDEXES
             ? nullptr
             : static_cast<RequestGate*>(TlsGetValue(gCallGateSlot));
}

// Without a slot no call gives the gate up: the caller then never closes
// the session under a call, and leaves a blocked thread to end by itself.
void SetCallGate(RequestGate* gate) {
  if (gCallGateSlot != TLS_OUT_OF_INDEXES) TlsSetValue(gCallGateSlot, gate);
}

void CALLBACK GiveUpGateInCall(HINTERNET, DWORD_PTR, DWORD, void*, DWORD) {
  RequestGate* gate = CallGate();
  if (!gate) return;
  SetCallGate(nullptr);
  SetEvent(gate->free.get());
}

// One use of the request's handles, holding the gate if there is one.
class HandleUse {
 public:
  explicit HandleUse(RequestGate* gate) : gate_(gate) {
    if (gate_) held_ = WaitForSingleObject(gate_->free.get(), INFINITE) == WAIT_OBJECT_0;
  }
  HandleUse(const HandleUse&) = delete;
  HandleUse& operator=(const HandleUse&) = delete;
  ~HandleUse() {
    if (held_) SetEvent(gate_->free.get());
  }
  // False once the session has been closed: the handles are gone.
  bool SessionOpen() const { return !gate_ || (held_ && !gate_->sessionClosed); }
  // Around a call that may block: its first status callback gives the gate up.
  void EnterCall() {
    if (held_) SetCallGate(gate_);
  }
  void LeaveCall() {
    if (!held_ || gCallGateSlot == TLS_OUT_OF_INDEXES) return;
    held_ = CallGate() != nullptr;
    SetCallGate(nullptr);
  }

 private:
  RequestGate* gate_;
  bool held_ = false;
};

bool Stopped(RequestGate* gate) {
  return gate && InterlockedCompareExchange(&gate->stopped, 0, 0) != 0;
}

// The record on the heap, owned by the caller and the request thread
// together: a caller that gives up on a blocked thread returns at once, and
// the last of the two deletes the record. The session goes with it, unless
// the caller closed it earlier to end a blocked call.
struct SharedRequest {
  // From the process heap: operator new would link the C++ library's
  // exception support into the setup.
  static void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return HeapAlloc(GetProcessHeap(), 0, size);
  }
  static void operator delete(void* memory) { HeapFree(GetProcessHeap(), 0, memory); }
  static void operator delete(void* memory, const std::nothrow_t&) { operator delete(memory); }

  HttpRequest request;
  RequestGate gate;
  ScopedInternetHandle session;
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
  RequestGate* gate = request->gate;
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

  ScopedInternetHandle connection;
  ScopedInternetHandle http;
  const wchar_t* verb = request->postData.empty() ? L"GET" : L"POST";
  bool sent = false;
  {
    HandleUse use(gate);
    if (!use.SessionOpen() || Stopped(gate)) return 0;
    connection.Reset(InternetConnectW(request->session, url.c_str(), port, nullptr, nullptr,
                                      INTERNET_SERVICE_HTTP, 0, kContext));
    if (connection) {
      http.Reset(HttpOpenRequestW(connection.get(), verb, objectPath.c_str(), nullptr, nullptr,
                                  nullptr, flags, kContext));
    }
    if (http) {
      use.EnterCall();
      sent = HttpSendRequestW(http.get(), kFormHeader, static_cast<DWORD>(-1),
                              request->postData.data(),
                              static_cast<DWORD>(request->postData.size())) != FALSE;
      use.LeaveCall();
    }
  }

  // One byte is kept free so that every chunk ends in a zero: a zero byte
  // inside the body ends that chunk's contribution.
  char buffer[4096];
  memset(buffer, 0, sizeof buffer);
  size_t received = 0;
  while (sent && !Stopped(gate)) {
    DWORD count = 0;
    {
      HandleUse use(gate);
      if (!use.SessionOpen()) break;
      use.EnterCall();
      // A failed read leaves count at 0 and ends the body like its end would.
      InternetReadFile(http.get(), buffer, sizeof buffer - 1, &count);
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
    request->body.Append(buffer, request->keepZeros ? count : strlen(buffer));
  }

  HandleUse use(gate);
  if (use.SessionOpen()) {
    http.Reset();
    connection.Reset();
  } else {
    // Closed with the session.
    static_cast<void>(http.Take());
    static_cast<void>(connection.Take());
  }
  return 0;
}

namespace {

ByteStr FetchSmallFile(const wchar_t* url, bool keepZeros, HANDLE cancelEvent) {
  ScopedInternetHandle session(
      InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!session) return ByteStr();

  SharedRequest* shared = new (std::nothrow) SharedRequest();
  if (!shared) return ByteStr();
  shared->gate.free.Reset(CreateEventW(nullptr, FALSE, TRUE, nullptr));
  if (!shared->gate.free) {
    delete shared;
    return ByteStr();
  }
  // Inherited by the connection and the request. Without it the calls keep
  // the gate, and a blocked one is left to end on its own.
  InternetSetStatusCallbackW(session.get(), GiveUpGateInCall);
  HttpRequest& request = shared->request;
  request.url = url;
  request.keepZeros = keepZeros;
  request.cancelEvent = cancelEvent;
  request.session = session.get();
  request.gate = &shared->gate;
  shared->session = static_cast<ScopedInternetHandle&&>(session);

  ScopedThread thread(CreateThread(nullptr, 0, RequestThread, shared, 0, nullptr));
  if (!thread) shared->references = 1;
  request.thread = thread.get();
  // A thread that could not start makes this wait fail, which clears the body.
  DWORD waited = WaitForMultipleObjects(2, &request.thread, FALSE, kManifestTimeLimitMs);

  if (waited != WAIT_OBJECT_0 && thread) {
    InterlockedExchange(&shared->gate.stopped, 1);
    DWORD start = GetTickCount();
    // The thread ends, or lets go of its handles, or is left to end on its
    // own; the session then closes with the record.
    HANDLE threadOrGate[2] = {thread.get(), shared->gate.free.get()};
    if (WaitForMultipleObjects(2, threadOrGate, FALSE, kRequestJoinMs) == WAIT_OBJECT_0 + 1) {
      // Ends a call that blocks on the network.
      shared->session.Reset();
      shared->gate.sessionClosed = true;
      SetEvent(shared->gate.free.get());
      DWORD spent = GetTickCount() - start;
      if (spent < kRequestJoinMs) WaitForSingleObject(thread.get(), kRequestJoinMs - spent);
    }
  }

  ByteStr body;
  // Only result 0 says that the thread has ended and its body is whole.
  if (waited == WAIT_OBJECT_0) body = request.body;
  Drop(shared);
  return body;
}

}  // namespace

ByteStr FetchVersionManifest(HANDLE cancelEvent) {
  return FetchSmallFile(kManifestUrl, /*keepZeros=*/false, cancelEvent);
}

ByteStr FetchManifestSignature(HANDLE cancelEvent) {
  return FetchSmallFile(kSignatureUrl, /*keepZeros=*/true, cancelEvent);
}

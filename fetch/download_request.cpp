#include "fetch/download_request.h"

#include <wchar.h>

#include "fetch/proxy_password.h"
#include "fetch/stall_limit.h"

namespace {

// The redirects are the setup's to judge, not WinInet's.
constexpr DWORD kUrlFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
constexpr DWORD_PTR kUrlContext = 1;
// The update server's host and path are short; a longer URL is none of
// its own.
constexpr DWORD kUrlPartChars = 260;
constexpr DWORD kUrlChars = 1024;
// Asked of every reply: the file's own bytes, as they are checked.
constexpr wchar_t kIdentity[] = L"Accept-Encoding: identity\r\n";

bool IsHttps(const wchar_t* url) { return _wcsnicmp(url, L"https://", 8) == 0; }

bool Redirects(uint32_t status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

WStr QueryUrlText(HINTERNET request, DWORD query) {
  wchar_t text[kUrlChars] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  BOOL read = query ? HttpQueryInfoW(request, query, text, &size, nullptr)
                    : InternetQueryOptionW(request, INTERNET_OPTION_URL, text, &size);
  return read ? WStr(text) : WStr();
}

// One request to url, with no redirect followed; *location is the reply's
// own Location resolved against url.
bool SendOnce(LineUse* use, const wchar_t* url, const RequestForm& form, DownloadRequest* opened,
              WStr* location) {
  wchar_t host[kUrlPartChars] = {};
  wchar_t path[kUrlPartChars] = {};
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlPartChars;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlPartChars;
  if (!InternetCrackUrlW(url, 0, 0, &parts)) return false;
  RequestTarget target;
  target.host = host;
  target.port = parts.nPort;
  target.path = path;
  target.flags = kUrlFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  if (!SendRequest(use, target, form, opened)) return false;
  location->Clear();
  WStr next = QueryUrlText(opened->request.get(), HTTP_QUERY_LOCATION);
  wchar_t combined[kUrlChars] = {};
  DWORD size = kUrlChars;
  if (!next.empty() && InternetCombineUrlW(url, next.c_str(), combined, &size, 0)) {
    *location = combined;
  }
  return true;
}

}  // namespace

bool SendRequest(LineUse* use, const RequestTarget& target, const RequestForm& form,
                 DownloadRequest* opened) {
  for (;;) {
    opened->request.Reset(use);
    opened->connection.Reset(use, InternetConnectW(use->session(), target.host, target.port,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0,
                                                   kUrlContext));
    if (opened->connection) {
      opened->request.Reset(use, HttpOpenRequestW(opened->connection.get(), form.verb,
                                                  target.path, nullptr, nullptr, nullptr,
                                                  target.flags, kUrlContext));
    }
    if (!opened->request) return false;
    DWORD limit = StallLimitMs();
    InternetSetOptionW(opened->request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &limit,
                       sizeof(limit));
    ProxyPasswordOnto(opened->request.get());
    use->EnterCall();
    bool sent = HttpSendRequestW(opened->request.get(), form.headers,
                                 form.headers ? static_cast<DWORD>(-1) : 0,
                                 const_cast<void*>(form.data), form.dataSize) != FALSE;
    if (!use->LeaveCall() || !sent) return false;
    opened->reply = ReadReplyHeaders(opened->request.get());
    if (opened->reply.status != 407) return true;
    // The user's answer may take minutes: a stop may cut the line meanwhile.
    use->Pause();
    bool asked = AskProxyPassword(opened->request.get());
    if (!use->Resume()) return false;
    if (!asked) return true;
  }
}

bool OpenDownload(InternetLine* line, const wchar_t* url, const RequestForm& first,
                  DownloadRequest* opened) {
  WStr headers(kIdentity);
  if (first.headers) headers.Append(first.headers);
  RequestForm form = first;
  WStr current(url);
  LineUse use(line);
  if (!use.open()) return false;
  form.headers = headers.c_str();
  for (int hop = 0;; ++hop) {
    WStr location;
    bool sent = SendOnce(&use, current.c_str(), form, opened, &location);
    // Whatever WinInet followed on its own, the reply must come over TLS.
    if (sent) opened->ledTo = ReplyLeftHttps(opened->request.get());
    if (!opened->ledTo.empty()) {
      sent = false;
    } else if (sent && Redirects(opened->reply.status)) {
      if (hop == kMaxRedirects || !IsHttps(location.c_str())) {
        opened->ledTo = location.empty() ? WStr(L"?") : location;
        sent = false;
      } else {
        current = location;
        if (opened->reply.status < 307) {
          form.verb = L"GET";
          form.data = nullptr;
          form.dataSize = 0;
        }
        opened->request.Reset(&use);
        opened->connection.Reset(&use);
        continue;
      }
    }
    if (sent) return true;
    opened->request.Reset(&use);
    opened->connection.Reset(&use);
    return false;
  }
}

WStr RangeHeaders(const WStr& ranges, const WStr& validator) {
  WStr headers(L"Range: bytes=");
  headers.Append(ranges);
  headers.Append(L"\r\n");
  if (!validator.empty()) {
    headers.Append(L"If-Range: ");
    headers.Append(validator);
    headers.Append(L"\r\n");
  }
  return headers;
}

WStr ReplyLeftHttps(HINTERNET request) {
  WStr final = QueryUrlText(request, 0);
  return IsHttps(final.c_str()) ? WStr() : final.empty() ? WStr(L"?") : final;
}

DWORD ReadDownload(InternetLine* line, DownloadRequest* opened, void* buffer, DWORD size,
                   DWORD* error) {
  if (error) *error = 0;
  LineUse use(line);
  if (!use.open() || !opened->request) return 0;
  DWORD count = 0;
  use.EnterCall();
  // A read waits until it can fill its buffer: asked for no more than has
  // come, it returns with each piece, so that a drip is seen as one.
  DWORD ready = 0;
  BOOL read = InternetQueryDataAvailable(opened->request.get(), &ready, 0, 0);
  if (read && ready > 0) {
    read = InternetReadFile(opened->request.get(), buffer, ready < size ? ready : size, &count);
  }
  DWORD failure = read ? 0 : GetLastError();
  // What a read cut short brought is no body to trust.
  if (!use.LeaveCall()) return 0;
  if (error) *error = failure;
  return count;
}

#include "fetch/download_request.h"

#include "fetch/stall_limit.h"

namespace {

constexpr DWORD kUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD_PTR kUrlContext = 1;
// The update server's host and path are short; a longer URL is none of
// its own.
constexpr DWORD kUrlPartChars = 260;

}  // namespace

bool OpenDownload(InternetLine* line, const wchar_t* url, const wchar_t* headers,
                  DownloadRequest* opened) {
  wchar_t host[kUrlPartChars] = {};
  wchar_t path[kUrlPartChars] = {};
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = kUrlPartChars;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = kUrlPartChars;
  if (!InternetCrackUrlW(url, 0, 0, &parts)) return false;
  DWORD flags = kUrlFlags | (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
  LineUse use(line);
  if (!use.open()) return false;
  opened->connection.Reset(&use, InternetConnectW(use.session(), host, parts.nPort, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, kUrlContext));
  if (opened->connection) {
    opened->request.Reset(&use, HttpOpenRequestW(opened->connection.get(), L"GET", path, nullptr,
                                                 nullptr, nullptr, flags, kUrlContext));
  }
  if (opened->request) {
    DWORD limit = StallLimitMs();
    InternetSetOptionW(opened->request.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &limit,
                       sizeof(limit));
    use.EnterCall();
    bool sent = HttpSendRequestW(opened->request.get(), headers,
                                 headers ? static_cast<DWORD>(-1) : 0, nullptr, 0) != FALSE;
    if (use.LeaveCall() && sent) {
      opened->reply = ReadReplyHeaders(opened->request.get());
      return true;
    }
  }
  opened->request.Reset(&use);
  opened->connection.Reset(&use);
  return false;
}

DWORD ReadDownload(InternetLine* line, DownloadRequest* opened, void* buffer, DWORD size) {
  LineUse use(line);
  if (!use.open() || !opened->request) return 0;
  DWORD count = 0;
  use.EnterCall();
  InternetReadFile(opened->request.get(), buffer, size, &count);
  // What a read cut short brought is no body to trust.
  return use.LeaveCall() ? count : 0;
}

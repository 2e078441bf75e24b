#include "support/server_control.h"

#include <wininet.h>

#include <cstdlib>
#include <sstream>

#include "support/test_paths.h"

namespace {

std::string ReadAll(HINTERNET request) {
  std::string body;
  char buffer[4096];
  for (;;) {
    DWORD count = 0;
    if (!InternetReadFile(request, buffer, sizeof buffer, &count) || count == 0) break;
    body.append(buffer, count);
  }
  return body;
}

bool Control(const std::wstring& pathAndQuery, std::string* answer = nullptr) {
  HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  if (!session) return false;
  std::wstring url = L"http://127.0.0.1/_control/" + pathAndQuery;
  HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  bool ok = false;
  if (request) {
    DWORD status = 0, size = sizeof status;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                   nullptr);
    std::string body = ReadAll(request);
    if (answer) *answer = body;
    ok = status == 200;
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return ok;
}

}  // namespace

bool ServerSet(const std::wstring& query) { return Control(L"set?" + query); }
bool ServerReset() { return Control(L"reset"); }
bool ServerRelease() { return Control(L"release"); }

std::wstring TestSite(const wchar_t* name) {
  return BuildDir() + L"\\update_server\\sites\\" + name;
}

bool ServerServe(const wchar_t* site, const std::wstring& settings) {
  return ServerSet(L"root=" + TestSite(site) + (settings.empty() ? L"" : L"&" + settings));
}

std::vector<LoggedRequest> ServerRequests() {
  std::string text;
  std::vector<LoggedRequest> requests;
  if (!Control(L"log", &text)) return requests;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream parts(line);
    std::string field;
    while (std::getline(parts, field, '\t')) fields.push_back(field);
    fields.resize(13);
    LoggedRequest r;
    r.scheme = fields[0];
    r.port = std::atoi(fields[1].c_str());
    r.method = fields[2];
    r.path = fields[3];
    r.host = fields[4];
    r.contentType = fields[5];
    r.bodyLength = std::strtoul(fields[6].c_str(), nullptr, 10);
    r.range = fields[7];
    r.ifRange = fields[8];
    r.status = std::atoi(fields[9].c_str());
    r.sent = std::strtoul(fields[10].c_str(), nullptr, 10);
    r.userAgent = fields[11];
    r.acceptEncoding = fields[12];
    requests.push_back(r);
  }
  return requests;
}

std::string SiteFile(const wchar_t* name) {
  const wchar_t* site = _wgetenv(L"QUELDA_SERVER_SITE");
  std::wstring path = site ? site : L"";
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
  return ReadFileBytes(path + L"\\" + name);
}

Download DownloadLikeWorker(const std::wstring& url) {
  Download result;
  HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return result;
  HINTERNET request = InternetOpenUrlW(session, url.c_str(), nullptr, 0,
                                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 1);
  if (request) {
    result.opened = true;
    DWORD size = sizeof result.contentLength;
    HttpQueryInfoW(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                   &result.contentLength, &size, nullptr);
    size = sizeof result.status;
    HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &result.status, &size,
                   nullptr);
    wchar_t etag[256] = {};
    size = sizeof etag - sizeof(wchar_t);
    if (HttpQueryInfoW(request, HTTP_QUERY_ETAG, etag, &size, nullptr)) result.etag = etag;
    result.body = ReadAll(request);
    InternetCloseHandle(request);
  }
  InternetCloseHandle(session);
  return result;
}

namespace {

constexpr wchar_t kInternetSettings[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool SetProxy(DWORD enable, const wchar_t* server = L"") {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = RegSetValueExW(key, L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<BYTE*>(&enable),
                           sizeof(enable)) == ERROR_SUCCESS;
  if (enable) {
    DWORD bytes = static_cast<DWORD>((wcslen(server) + 1) * sizeof(wchar_t));
    ok = ok && RegSetValueExW(key, L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(server),
                              bytes) == ERROR_SUCCESS;
  } else {
    RegDeleteValueW(key, L"ProxyServer");
  }
  RegCloseKey(key);
  return ok;
}

}  // namespace

StandInProxy::StandInProxy(const wchar_t* server) : set_(SetProxy(1, server)) {}

StandInProxy::~StandInProxy() { SetProxy(0); }

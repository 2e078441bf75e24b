#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The stand-in update server as tests see it: its control paths (plain HTTP
// on 127.0.0.1:80) and the folder it serves.

// Applies settings for the following requests, e.g. L"fault=slow&delay=30".
bool ServerSet(const std::wstring& query);
// Back to the settings the server started with; clears its request log.
bool ServerReset();

struct LoggedRequest {
  std::string scheme;  // "https" or "http"
  int port = 0;
  std::string method;
  std::string path;  // with the query
  std::string host;  // the Host header
  std::string contentType;
  size_t bodyLength = 0;
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
  std::string body;
};
Download DownloadLikeWorker(const std::wstring& url);

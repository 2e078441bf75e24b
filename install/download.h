#pragma once

#include <windows.h>

#include "common/str.h"

// What tells the worker's downloads apart.
struct DownloadJob {
  const wchar_t* url;
  // Under the install folder, formed once the reply's length is known.
  const wchar_t* relativePath;
  // Whether the file's missing folders are made first.
  bool makeFolders;
  // Whether a reply without a length reports its status code and length
  // ("下载 “%s” 失败 (%d/%d)！") rather than "下载 “%s” 失败！".
  bool reportStatusCode;
  // The progress report; its two %s are the total and the received
  // kilobytes, grouped.
  const wchar_t* progressFormat;
};

// Downloads the URL on the worker session into InstallPath(relativePath):
// opens it, reads its length, creates the file, sets up the progress bar
// and reads the body in 4096-byte reads until a read gives nothing or the
// cancel event is set, reporting progress whenever the bar's position
// changes. The file's full path, or empty after a failure report; a body
// that breaks off is no failure.
WStr DownloadToFile(HWND page, const DownloadJob& job);

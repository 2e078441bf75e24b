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
  // When set, the body is written to the path with this appended, and the
  // file at the path itself is left alone: the caller puts a whole body in
  // its place. A failure to create it is reported under the path.
  const wchar_t* partSuffix;
};

// Downloads the URL on the worker session into InstallPath(relativePath):
// opens it, reads its length, creates the file, sets up the progress bar
// and reads the body in 4096-byte reads until a read gives nothing or the
// cancel event is set, reporting progress whenever the bar's position
// changes. The full path of the file written, or empty after a failure
// report; a body that breaks off is no failure, but whole (when given) then
// says false: true only when every byte of the Content-Length was written.
WStr DownloadToFile(HWND page, const DownloadJob& job, bool* whole = nullptr);

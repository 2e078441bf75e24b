#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"
#include "fetch/download_resume.h"
#include "fetch/internet_line.h"

// The line a download runs on: the worker's WinInet line (a cut ends a
// blocked read) and the event that asks it to stop.
struct Transfer {
  InternetLine* line = nullptr;
  HANDLE cancelEvent = nullptr;
};

// Whether the cancel event is set (a wait that fails counts as set: a
// worker that cannot tell must not go on).
bool CancelSet(HANDLE cancelEvent);

// Where a download's progress goes as the bytes arrive.
class DownloadProgress {
 public:
  // A new bar of range steps, at position 0.
  virtual void Prepare(uint32_t range) = 0;
  // The bar at position, with the whole and what is on disk, in bytes.
  virtual void Step(uint32_t position, uint32_t total, uint32_t received) = 0;

 protected:
  ~DownloadProgress() = default;
};

struct DownloadJob {
  const wchar_t* url = nullptr;
  // The file's full path; empty when it would not fit (it then fails as a
  // file that cannot be made).
  WStr path;
  // Whether the file's missing folders are made first.
  bool makeFolders = false;
};

enum class DownloadEnd {
  kWhole,       // every byte of the Content-Length is in the file
  kBrokenOff,   // the body broke off (a cut, a stall, a full disk)
  kCancelled,   // the cancel event was set
  kNoReply,     // no reply, one without a length, or one of a status
                // other than 200 (or a 206 that continues the part)
  kNotCreated,  // the file could not be made
};

struct DownloadResult {
  DownloadEnd end = DownloadEnd::kNoReply;
  // For kNoReply: whether a reply came at all, its status code and its
  // Content-Length.
  bool replied = false;
  uint32_t status = 0;
  uint32_t length = 0;
  // For kNotCreated: the system's error.
  DWORD error = 0;
  // The file written (the job's path); set for kWhole and kBrokenOff, and
  // for kCancelled once the file was made.
  WStr file;
};

// Downloads the URL into the job's path: opens it, reads its length,
// creates the file, sets up the progress bar and reads the body in
// 4096-byte reads until a read gives nothing or the cancel event is set,
// stepping the bar whenever its position changes. With terms (a declared
// size and hash), a file that an earlier run left at the path is used: the
// declared package itself without a request, a shorter one continued with
// a range request, anything else started over. A stall of StallLimitMs
// ends the download as broken off. Nothing is reported: the caller turns
// the result into its report.
DownloadResult DownloadToFile(const Transfer& transfer, const DownloadJob& job,
                              DownloadProgress* progress, const ResumeTerms* terms = nullptr);

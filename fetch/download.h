#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"
#include "fetch/download_request.h"
#include "fetch/download_resume.h"
#include "fetch/internet_line.h"

// The line a download runs on: the worker's WinInet line (a cut ends a
// blocked read) and the event that asks it to stop.
struct Transfer {
  InternetLine* line = nullptr;
  HANDLE cancelEvent = nullptr;
};

// The bar of a download moves one step for this many bytes.
constexpr uint32_t kBytesPerStep = 12288;

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

// A download's bar over total bytes, in steps of kBytesPerStep, set up at
// position 0 and stepped whenever its position changes.
class BarSteps {
 public:
  BarSteps(DownloadProgress* progress, uint32_t total)
      : progress_(progress), total_(total), range_(total / kBytesPerStep) {
    progress_->Prepare(range_);
  }
  // The bar with received bytes of the total on disk.
  void At(uint32_t received) {
    uint32_t position =
        total_ ? static_cast<uint32_t>(static_cast<uint64_t>(received) * range_ / total_) : 0;
    if (position == position_) return;
    position_ = position;
    progress_->Step(position, total_, received);
  }

 private:
  DownloadProgress* progress_;
  uint32_t total_;
  uint32_t range_;
  uint32_t position_ = 0;
};

struct DownloadJob {
  const wchar_t* url = nullptr;
  // The file's full path; empty when it would not fit (it then fails as a
  // file that cannot be made).
  WStr path;
  // Whether the file's missing folders are made first.
  bool makeFolders = false;
  // The size the manifest declares, 0 for none: a reply of another length
  // is refused before a byte is written.
  uint64_t declaredSize = 0;
};

enum class DownloadEnd {
  kWhole,       // every byte of the Content-Length is in the file
  kBrokenOff,   // the body broke off (a cut, a stall, a drip, a full disk)
  kCancelled,   // the cancel event was set
  kNoReply,     // no reply
  kNotContent,  // a reply that is not the file: a status other than 200
                // (or a 206 that continues the part), or no length
  kNotDeclared,  // a 200 whose length is not the declared size
  kLeftHttps,   // a redirect away from https (or one too many)
  kEncoded,     // a Content-Encoding other than the identity
  kNoRoom,      // the length does not fit the drive
  kNotCreated,  // the file could not be made
};

struct DownloadResult {
  DownloadEnd end = DownloadEnd::kNoReply;
  // For kNotContent and kNotDeclared: the reply's status code and
  // Content-Length.
  uint32_t status = 0;
  uint64_t length = 0;
  // For kNotCreated and kBrokenOff: the system's error (0 for a body that
  // just ended short).
  DWORD error = 0;
  // For kBrokenOff: ended by the rate floor, not by the system.
  bool tooSlow = false;
  // For kLeftHttps where the redirect led, for kEncoded the encoding.
  WStr named;
  // For kNoRoom: the bytes needed and free.
  uint64_t available = 0;
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
// a range request, anything else started over. A stall of StallLimitMs,
// or less than kRateFloorBytes in twice that time, ends the download as
// broken off. Nothing is reported: the caller turns
// the result into its report.
DownloadResult DownloadToFile(const Transfer& transfer, const DownloadJob& job,
                              DownloadProgress* progress, const ResumeTerms* terms = nullptr);

// The rest of a download once its request is sent: sentRequest's reply
// (null when none came; ledTo then names where a refused redirect led)
// judged and, when it is the file, written to the job's path, after the
// have bytes of a part it continues (0: from the start).
DownloadResult ReceiveDownload(const Transfer& transfer, const DownloadJob& job,
                               DownloadProgress* progress, const ResumeTerms* terms,
                               DownloadRequest* sentRequest, const WStr& ledTo, uint32_t have);

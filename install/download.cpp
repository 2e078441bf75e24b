#include "install/download.h"

#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

#include "app/status_slot.h"
#include "app/worker_access.h"
#include "common/ensure_folder.h"
#include "common/scoped.h"
#include "install/download_file.h"
#include "install/number_text.h"
#include "install/reply_headers.h"

namespace {

constexpr DWORD kUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD_PTR kUrlContext = 1;
constexpr DWORD kReadSize = 4096;
constexpr uint32_t kBytesPerStep = 12288;
constexpr uint32_t kReadsPerCancelTest = 16;

bool CancelSet() { return WaitForSingleObject(CancelEvent(), 0) == WAIT_OBJECT_0; }

// The bytes written.
uint32_t ReadBody(HWND page, HINTERNET request, FILE* file, uint32_t total,
                  const wchar_t* progressFormat) {
  // On the stack: a zero-filled static would take room in the download.
  uint8_t buffer[kReadSize] = {};
  uint32_t range = total / kBytesPerStep;
  uint32_t received = 0;
  uint32_t lastPosition = 0;
  uint32_t reads = 0;
  WStr totalText = GroupThousands(DecimalText(total / 1024));
  for (;;) {
    uint32_t position =
        total ? static_cast<uint32_t>(static_cast<uint64_t>(received) * range / total) : 0;
    if (position != lastPosition) {
      lastPosition = position;
      PostStatus(page, 1, kStatusWorking, progressFormat, totalText.c_str(),
                 GroupThousands(DecimalText(received / 1024)).c_str());
    }
    DWORD count = 0;
    InternetReadFile(request, buffer, kReadSize, &count);
    if (count == 0) break;
    // A full disk ends the download: what follows could not land either.
    if (fwrite(buffer, 1, count, file) != count) break;
    received += count;
    // Every 64 KB, without waiting: a 1 ms wait per read would halve the
    // speed, and under Wine even a plain test costs a server round trip
    // (about 0.1 ms). A cancel closes the session too, so the reads in
    // between return nothing at once.
    if (++reads % kReadsPerCancelTest == 0 && CancelSet()) break;
  }
  return received;
}

}  // namespace

WStr DownloadToFile(HWND page, const DownloadJob& job, bool* whole) {
  if (whole) *whole = false;
  ScopedInternetHandle request(
      InternetOpenUrlW(WorkerSession(), job.url, nullptr, 0, kUrlFlags, kUrlContext));
  uint32_t total = request ? QueryContentLength(request.get()) : 0;
  if (total == 0) {
    if (request && job.reportStatusCode) {
      PostStatus(page, 0, kStatusFailed, L"下载 “%s” 失败 (%d/%d)！", job.url,
                 static_cast<int>(QueryStatusCode(request.get())), static_cast<int>(total));
    } else {
      PostStatus(page, 0, kStatusFailed, L"下载 “%s” 失败！", job.url);
    }
    return WStr();
  }
  WStr path = InstallPath(job.relativePath);
  if (job.makeFolders) EnsureFolder(path.c_str());
  WStr written = path;
  if (job.partSuffix && !path.empty()) written.Append(job.partSuffix);
  ScopedFile file(CreateDownloadFile(page, written, path));
  if (!file) return WStr();
  PrepareProgressBar(page, total / kBytesPerStep);
  uint32_t received = 0;
  if (!CancelSet()) received = ReadBody(page, request.get(), file.get(), total, job.progressFormat);
  bool flushed = fflush(file.get()) == 0;
  if (whole) *whole = flushed && received == total;
  return written;
}

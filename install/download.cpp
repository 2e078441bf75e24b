#include "install/download.h"

#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

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

void SendStep(const WorkerInputs& inputs, const DownloadJob& job, uint32_t position,
              const WStr& totalText, uint32_t received) {
  WStr receivedText = GroupThousands(DecimalText(received / 1024));
  if (job.leading) {
    SendProgress(inputs, job.step, position, job.leading, totalText.c_str(), receivedText.c_str());
  } else {
    SendProgress(inputs, job.step, position, totalText.c_str(), receivedText.c_str());
  }
}

// The bytes written.
uint32_t ReadBody(const WorkerInputs& inputs, const DownloadJob& job, HINTERNET request, FILE* file,
                  uint32_t total) {
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
      SendStep(inputs, job, position, totalText, received);
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
    if (++reads % kReadsPerCancelTest == 0 && CancelSet(inputs)) break;
  }
  return received;
}

}  // namespace

WStr DownloadToFile(const WorkerInputs& inputs, const DownloadJob& job, bool* whole) {
  if (whole) *whole = false;
  ScopedInternetHandle request(
      InternetOpenUrlW(inputs.session, job.url, nullptr, 0, kUrlFlags, kUrlContext));
  uint32_t total = request ? QueryContentLength(request.get()) : 0;
  if (total == 0) {
    if (request && job.reportStatusCode) {
      WStr code = DecimalText(QueryStatusCode(request.get()));
      Send(inputs, ReportId::kNoLength, job.url, code.c_str(), L"0", job.failureLine);
    } else {
      Send(inputs, job.failed, job.url, job.failureLine);
    }
    return WStr();
  }
  if (job.makeFolders) EnsureFolder(job.path.c_str());
  WStr written = job.path;
  if (job.partSuffix && !job.path.empty()) written.Append(job.partSuffix);
  ScopedFile file(CreateDownloadFile(inputs, job, written));
  if (!file) return WStr();
  inputs.reporter->PrepareProgress(total / kBytesPerStep);
  uint32_t received = 0;
  if (!CancelSet(inputs)) received = ReadBody(inputs, job, request.get(), file.get(), total);
  bool flushed = fflush(file.get()) == 0;
  if (whole) *whole = flushed && received == total;
  return written;
}

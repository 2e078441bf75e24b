#include "fetch/download.h"

#include <wininet.h>
#include <stdint.h>

#include "common/number_text.h"
#include "common/scoped.h"
#include "disk/file_system.h"
#include "fetch/download_resume.h"
#include "fetch/reply_headers.h"
#include "fetch/download_request.h"

bool CancelSet(HANDLE cancelEvent) { return WaitForSingleObject(cancelEvent, 0) != WAIT_TIMEOUT; }

namespace {

constexpr DWORD kReadSize = 4096;
constexpr uint32_t kBytesPerStep = 12288;
constexpr uint32_t kReadsPerCancelTest = 16;

// The bytes written, after the first already on disk. The bar counts those
// too.
uint32_t ReadBody(const Transfer& transfer, DownloadProgress* progress, DownloadRequest* request,
                  HANDLE file, uint32_t total, uint32_t first) {
  // On the stack: a zero-filled static would take room in the download.
  uint8_t buffer[kReadSize] = {};
  uint32_t range = total / kBytesPerStep;
  uint32_t received = first;
  uint32_t lastPosition = 0;
  uint32_t reads = 0;
  for (;;) {
    uint32_t position =
        total ? static_cast<uint32_t>(static_cast<uint64_t>(received) * range / total) : 0;
    if (position != lastPosition) {
      lastPosition = position;
      progress->Step(position, total, received);
    }
    DWORD count = ReadDownload(transfer.line, request, buffer, kReadSize);
    if (count == 0) break;
    // A full disk ends the download: what follows could not land either.
    if (!FsWrite(file, buffer, count)) break;
    received += count;
    // Every 64 KB, without waiting: a 1 ms wait per read would halve the
    // speed, and under Wine even a plain test costs a server round trip
    // (about 0.1 ms). A cancel cuts the line too, so the reads in between
    // return nothing at once.
    if (++reads % kReadsPerCancelTest == 0 && CancelSet(transfer.cancelEvent)) break;
  }
  return received - first;
}

// The URL opened, for a part to resume with its range and the validator of
// the transfer it came from.
bool OpenUrl(const Transfer& transfer, const DownloadJob& job, const PartPlan& plan,
             DownloadRequest* opened) {
  WStr headers;
  if (plan.use == PartUse::kResume) {
    headers = L"Range: bytes=";
    headers.Append(DecimalText(plan.have));
    headers.Append(L"-\r\nIf-Range: ");
    headers.Append(plan.validator);
    headers.Append(L"\r\n");
  }
  return OpenDownload(transfer.line, job.url, headers.empty() ? nullptr : headers.c_str(),
                      opened);
}

DownloadResult Ended(DownloadEnd end) {
  DownloadResult result;
  result.end = end;
  return result;
}

}  // namespace

DownloadResult DownloadToFile(const Transfer& transfer, const DownloadJob& job,
                              DownloadProgress* progress, const ResumeTerms* terms) {
  PartPlan plan;
  if (terms) plan = PlanPart(job.path, *terms);
  if (plan.use == PartUse::kWhole) {
    // Already here and checked: the bar complete, without a request.
    uint32_t range = plan.have / kBytesPerStep;
    progress->Prepare(range);
    if (range) progress->Step(range, plan.have, plan.have);
    DownloadResult result = Ended(DownloadEnd::kWhole);
    result.file = job.path;
    return result;
  }
  DownloadRequest opened(transfer.line);
  bool sent = OpenUrl(transfer, job, plan, &opened);
  bool resumed = false;
  if (sent && plan.use == PartUse::kResume) {
    uint32_t status = opened.reply.status;
    resumed = status == 206 && RangeContinues(opened.reply, plan.have, *terms);
    // A 200 brings the whole file; anything else (a 416, a range that does
    // not continue the part) is no start of it: the whole file is asked for.
    if (!resumed && status != 200) {
      plan = PartPlan();
      opened.request.Reset();
      opened.connection.Reset();
      sent = OpenUrl(transfer, job, plan, &opened);
    }
  }
  // A request the cancel cut short is no reply of the server's.
  if (CancelSet(transfer.cancelEvent)) return Ended(DownloadEnd::kCancelled);
  uint32_t length = sent ? opened.reply.contentLength : 0;
  uint32_t status = sent ? opened.reply.status : 0;
  // Only a 200, or a 206 that continues the part, is the file: an error
  // page or a proxy's refusal is never written in its place.
  if (length == 0 || !(resumed || status == 200)) {
    DownloadResult result = Ended(DownloadEnd::kNoReply);
    result.replied = sent;
    result.status = status;
    result.length = length;
    return result;
  }
  if (job.makeFolders) FsEnsureFolder(job.path.c_str());
  const WStr& written = job.path;
  // Only a checked 206 is appended; any other body starts the file over.
  ScopedHandle file;
  if (written.empty()) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
  } else {
    file = resumed ? FsAppendFile(written.c_str())
                   : FsCreateFile(written.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  if (!file) {
    DownloadResult result = Ended(DownloadEnd::kNotCreated);
    result.error = GetLastError();
    return result;
  }
  // After the truncation: the validator must never vouch for the bytes of
  // another transfer.
  if (terms && !resumed) SaveValidator(written, ValidatorOf(opened.reply));
  uint32_t first = resumed ? plan.have : 0;
  uint32_t total = first + length;
  progress->Prepare(total / kBytesPerStep);
  uint32_t received = 0;
  if (!CancelSet(transfer.cancelEvent)) {
    received = ReadBody(transfer, progress, &opened, file.get(), total, first);
  }
  file.Reset();
  bool complete = received == length;
  // A file of the whole size is used or started over, never continued.
  if (terms && complete) SaveValidator(written, WStr());
  DownloadEnd end = complete                          ? DownloadEnd::kWhole
                    : CancelSet(transfer.cancelEvent) ? DownloadEnd::kCancelled
                                                      : DownloadEnd::kBrokenOff;
  DownloadResult result = Ended(end);
  result.file = written;
  return result;
}

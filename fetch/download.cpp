#include "fetch/download.h"

#include <wininet.h>
#include <stdint.h>

#include "common/file_size.h"
#include "common/number_text.h"
#include "common/scoped.h"
#include "disk/file_system.h"
#include "disk/free_space.h"
#include "fetch/download_resume.h"
#include "fetch/reply_headers.h"
#include "fetch/download_request.h"
#include "fetch/stall_limit.h"

bool CancelSet(HANDLE cancelEvent) { return WaitForSingleObject(cancelEvent, 0) != WAIT_TIMEOUT; }

namespace {

constexpr DWORD kReadSize = 4096;
constexpr uint32_t kReadsPerCancelTest = 16;

// Why a body ended before its length.
struct BodyEnd {
  DWORD error = 0;
  bool tooSlow = false;
};

// The bytes written, after the first already on disk. The bar counts those
// too.
uint32_t ReadBody(const Transfer& transfer, BarSteps* bar, DownloadRequest* request, HANDLE file,
                  uint32_t first, BodyEnd* end) {
  // On the stack: a zero-filled static would take room in the download.
  uint8_t buffer[kReadSize] = {};
  uint32_t received = first;
  uint32_t reads = 0;
  const DWORD window = 2 * StallLimitMs();
  DWORD windowStart = GetTickCount();
  uint32_t windowBytes = 0;
  for (;;) {
    bar->At(received);
    DWORD count = ReadDownload(transfer.line, request, buffer, kReadSize, &end->error);
    if (count == 0) break;
    // A full disk ends the download: what follows could not land either.
    if (!FsWrite(file, buffer, count)) {
      end->error = GetLastError();
      break;
    }
    received += count;
    windowBytes += count;
    if (GetTickCount() - windowStart >= window) {
      if (windowBytes < kRateFloorBytes) {
        end->tooSlow = true;
        break;
      }
      windowStart = GetTickCount();
      windowBytes = 0;
    }
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
    WStr rest = DecimalText(plan.have);
    rest.Append(L"-");
    headers = RangeHeaders(rest, plan.validator);
  }
  RequestForm form;
  form.headers = headers.empty() ? nullptr : headers.c_str();
  return OpenDownload(transfer.line, job.url, form, opened);
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
    BarSteps(progress, plan.have).At(plan.have);
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
  return ReceiveDownload(transfer, job, progress, terms, sent ? &opened : nullptr, opened.ledTo,
                         resumed ? plan.have : 0);
}

DownloadResult ReceiveDownload(const Transfer& transfer, const DownloadJob& job,
                               DownloadProgress* progress, const ResumeTerms* terms,
                               DownloadRequest* sentRequest, const WStr& ledTo, uint32_t have) {
  bool resumed = have != 0;
  if (!sentRequest) {
    DownloadResult result = Ended(ledTo.empty() ? DownloadEnd::kNoReply : DownloadEnd::kLeftHttps);
    result.named = ledTo;
    return result;
  }
  DownloadRequest& opened = *sentRequest;
  uint64_t length = opened.reply.contentLength;
  uint32_t status = opened.reply.status;
  uint64_t declared = terms ? terms->size : job.declaredSize;
  // Only a 200, or a 206 that continues the part, is the file: an error
  // page or a proxy's refusal is never written in its place. Nor is a
  // length that is not the declared one, or past what the bar counts.
  bool undeclared = declared && !resumed && length != declared;
  if (length == 0 || length > 0xFFFFFFFFu - have ||
      !(resumed || status == 200) || undeclared) {
    DownloadResult result =
        Ended(undeclared && status == 200 ? DownloadEnd::kNotDeclared : DownloadEnd::kNotContent);
    result.status = status;
    result.length = length;
    return result;
  }
  if (!Unencoded(opened.reply)) {
    DownloadResult result = Ended(DownloadEnd::kEncoded);
    result.named = opened.reply.contentEncoding;
    return result;
  }
  // Before a byte lands: an enormous length must not fill the drive. What
  // a file started over frees counts as free.
  uint64_t available = 0;
  bool known = false;
  uint64_t replaced = resumed || job.path.empty() ? 0 : FileSizeOf(job.path.c_str(), &known);
  if (!job.path.empty() && FreeSpaceAt(job.path.c_str(), &available) &&
      length > available + replaced) {
    DownloadResult result = Ended(DownloadEnd::kNoRoom);
    result.length = length;
    result.available = available + replaced;
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
  uint32_t first = have;
  uint32_t total = first + static_cast<uint32_t>(length);
  BarSteps bar(progress, total);
  uint32_t received = 0;
  BodyEnd body;
  if (!CancelSet(transfer.cancelEvent)) {
    received = ReadBody(transfer, &bar, &opened, file.get(), first, &body);
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
  result.error = body.error;
  result.tooSlow = body.tooSlow;
  return result;
}

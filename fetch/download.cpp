#include "fetch/download.h"

#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

#include "common/ensure_folder.h"
#include "common/scoped.h"
#include "common/error_text.h"
#include "fetch/download_resume.h"
#include "common/number_text.h"
#include "fetch/reply_headers.h"
#include "fetch/download_request.h"

namespace {

// Opens the file for binary writing from its start ("wb"), or at its end
// ("ab") to continue it; on failure sends the job's report naming the
// job's path, with the reason, and returns null.
FILE* CreateDownloadFile(const WorkerInputs& inputs, const DownloadJob& job, const WStr& path,
                         bool append) {
  FILE* file = nullptr;
  if (path.empty() || _wfopen_s(&file, path.c_str(), append ? L"ab" : L"wb") != 0 || !file) {
    WStr reason = LastErrorText();
    Send(inputs, job.notCreated, job.path.c_str(), reason.c_str(), job.failureLine);
    return nullptr;
  }
  return file;
}

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

// The bytes written, after the first already on disk. The bar and its
// text count those too.
uint32_t ReadBody(const WorkerInputs& inputs, const DownloadJob& job, HINTERNET request, FILE* file,
                  uint32_t total, uint32_t first) {
  // On the stack: a zero-filled static would take room in the download.
  uint8_t buffer[kReadSize] = {};
  uint32_t range = total / kBytesPerStep;
  uint32_t received = first;
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
  return received - first;
}

// The URL opened, for a part to resume with its range and the validator of
// the transfer it came from.
bool OpenUrl(const WorkerInputs& inputs, const DownloadJob& job, const PartPlan& plan,
             DownloadRequest* opened) {
  WStr headers;
  if (plan.use == PartUse::kResume) {
    headers = L"Range: bytes=";
    headers.Append(DecimalText(plan.have));
    headers.Append(L"-\r\nIf-Range: ");
    headers.Append(plan.validator);
    headers.Append(L"\r\n");
  }
  return OpenDownload(inputs.session, job.url, headers.empty() ? nullptr : headers.c_str(), opened);
}

}  // namespace

WStr DownloadToFile(const WorkerInputs& inputs, const DownloadJob& job, bool* whole,
                    const ResumeTerms* terms) {
  if (whole) *whole = false;
  PartPlan plan;
  if (terms) plan = PlanPart(job.path, *terms);
  if (plan.use == PartUse::kWhole) {
    // Already here and checked: the bar complete, without a request.
    uint32_t range = plan.have / kBytesPerStep;
    inputs.reporter->PrepareProgress(range);
    if (range)
      SendStep(inputs, job, range, GroupThousands(DecimalText(plan.have / 1024)), plan.have);
    if (whole) *whole = true;
    return job.path;
  }
  DownloadRequest opened;
  bool sent = OpenUrl(inputs, job, plan, &opened);
  bool resumed = false;
  if (sent && plan.use == PartUse::kResume) {
    uint32_t status = QueryStatusCode(opened.request.get());
    resumed = status == 206 && RangeContinues(opened.request.get(), plan.have, *terms);
    // A 200 brings the whole file; anything else (a 416, a range that does
    // not continue the part) is no start of it: the whole file is asked for.
    if (!resumed && status != 200) {
      plan = PartPlan();
      opened.request.Reset();
      opened.connection.Reset();
      sent = OpenUrl(inputs, job, plan, &opened);
    }
  }
  HINTERNET request = opened.request.get();
  uint32_t length = sent ? QueryContentLength(request) : 0;
  if (length == 0) {
    if (sent && job.reportStatusCode) {
      WStr code = DecimalText(QueryStatusCode(request));
      Send(inputs, ReportId::kNoLength, job.url, code.c_str(), L"0", job.failureLine);
    } else {
      Send(inputs, job.failed, job.url, job.failureLine);
    }
    return WStr();
  }
  if (job.makeFolders) EnsureFolder(job.path.c_str());
  WStr written = job.path;
  if (job.partSuffix && !job.path.empty()) written.Append(job.partSuffix);
  // Only a checked 206 is appended; any other body starts the file over.
  ScopedFile file(CreateDownloadFile(inputs, job, written, resumed));
  if (!file) return WStr();
  // After the truncation: the validator must never vouch for the bytes of
  // another transfer.
  if (terms && !resumed) SaveValidator(written, QueryValidator(request));
  uint32_t first = resumed ? plan.have : 0;
  uint32_t total = first + length;
  inputs.reporter->PrepareProgress(total / kBytesPerStep);
  uint32_t received = 0;
  if (!CancelSet(inputs)) {
    received = ReadBody(inputs, job, request, file.get(), total, first);
  }
  bool flushed = fflush(file.get()) == 0;
  bool complete = flushed && received == length;
  if (whole) *whole = complete;
  // A file of the whole size is used or started over, never continued.
  if (terms && complete) SaveValidator(written, WStr());
  return written;
}

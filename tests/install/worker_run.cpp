#include "worker_run.h"

#include "app/setup_state.h"
#include "app/worker_control.h"
#include "support/clock.h"

WorkerRun::WorkerRun() {
  if (!gCancelEvent) gCancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!gProceedEvent) gProceedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(gCancelEvent);
  ResetEvent(gProceedEvent);
  TakeStatusReports();
}

WorkerRun::~WorkerRun() { StopWorker(); }

void WorkerRun::Start(const std::wstring& folder) {
  wizard_.SetFolder(folder);
  TakeStatusReports();
  reports_.clear();
  StartWorker(wizard_.window());
}

void WorkerRun::Proceed() { SetEvent(gProceedEvent); }

bool WorkerRun::Pump(DWORD milliseconds) {
  HANDLE thread = gWorkerThread.get();
  DWORD result = thread ? MsgWaitForMultipleObjects(1, &thread, FALSE, milliseconds, QS_ALLINPUT)
                        : WAIT_OBJECT_0;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  for (StatusReport& report : TakeStatusReports()) reports_.push_back(std::move(report));
  return result == WAIT_OBJECT_0;
}

bool WorkerRun::WaitForEnd(DWORD timeout) {
  double start = MillisecondsNow();
  while (MillisecondsNow() - start < timeout) {
    if (Pump(20)) return true;
  }
  return false;
}

bool WorkerRun::WaitForReport(const std::function<bool(const StatusReport&)>& test, DWORD timeout) {
  size_t seen = 0;
  double start = MillisecondsNow();
  while (MillisecondsNow() - start < timeout) {
    bool ended = Pump(20);
    for (; seen < reports_.size(); ++seen) {
      if (test(reports_[seen])) return true;
    }
    if (ended) return false;
  }
  return false;
}

DWORD WorkerRun::Stop() {
  double start = MillisecondsNow();
  StopWorker();
  DWORD elapsed = static_cast<DWORD>(MillisecondsNow() - start);
  Pump(0);
  return elapsed;
}

const std::vector<StatusReport>& WorkerRun::reports() {
  Pump(0);
  return reports_;
}

int MessageNumber(const StatusReport& report) {
  const std::wstring& t = report.text;
  auto starts = [&](const wchar_t* s) { return t.compare(0, wcslen(s), s) == 0; };
  auto has = [&](const wchar_t* s) { return t.find(s) != std::wstring::npos; };
  if (starts(L"正在检查 Quelda Manager 最新版本 ...")) return kChecking;
  if (starts(L"正在下载 Quelda Manager 演示数据库 ..."))
    return has(L"\r\n共 ") ? kDatabaseStep : kDatabaseDownloading;
  if (starts(L"正在下载 Quelda Manager ")) return has(L"\r\n共 ") ? kDownloadStep : kDownloading;
  if (starts(L"下载 “"))
    return has(L" 失败 (") ? kNoLength : has(L"quelda.mdb”") ? kDatabaseFailed : kDownloadFailed;
  if (starts(L"创建 “"))
    return has(L"\\download\\Quelda") ? kPackageNotCreated : kDatabaseNotCreated;
  if (t == L"下载的文件不是有效的 zip 压缩文件！") return kNotAZip;
  if (starts(L"已下载 Quelda Manager ")) return kDownloaded;
  if (t == L"解压下载的压缩文件 ...") return kUnpacking;
  if (starts(L"备份 “")) return kBackupFailed;
  if (starts(L"解压 “")) return kExtractFailed;
  if (t == L"已完成。") return kFinished;
  return 0;
}

std::vector<int> MessageNumbers(const std::vector<StatusReport>& reports) {
  std::vector<int> numbers;
  for (const StatusReport& report : reports) numbers.push_back(MessageNumber(report));
  return numbers;
}

std::vector<int> MessageSequence(const std::vector<StatusReport>& reports) {
  std::vector<int> numbers;
  for (int n : MessageNumbers(reports)) {
    bool step = n == kDownloadStep || n == kDatabaseStep;
    if (!step || numbers.empty() || numbers.back() != n) numbers.push_back(n);
  }
  return numbers;
}

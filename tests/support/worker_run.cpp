#include "support/worker_run.h"

#include "worker/install_worker.h"
#include "support/clock.h"

class WorkerRun::Recorder final : public Reporter {
 public:
  Recorder() : arrived_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  void Report(const StatusReport& report) override {
    WorkerReport recorded;
    recorded.id = report.id;
    for (int i = 0; i < report.argumentCount; ++i)
      recorded.arguments.push_back(report.arguments[i]);
    recorded.position = report.position;
    recorded.progress = ReportShowsProgress(report.id);
    recorded.kind = ReportKind(report.id);
    wchar_t text[512];
    FormatReport(report, text, 512);
    recorded.text = text;
    {
      ScopedExclusiveLock hold(&lock_);
      reports_.push_back(std::move(recorded));
    }
    SetEvent(arrived_.get());
  }
  void PrepareProgress(uint32_t range) override {
    ScopedExclusiveLock hold(&lock_);
    range_ = range;
  }
  void EndNavigation() override {
    ScopedExclusiveLock hold(&lock_);
    ++navigationEnds_;
  }

  void Clear() {
    ScopedExclusiveLock hold(&lock_);
    reports_.clear();
    range_ = 0;
    navigationEnds_ = 0;
  }
  std::vector<WorkerReport> reports(size_t first = 0) {
    ScopedExclusiveLock hold(&lock_);
    if (first >= reports_.size()) return {};
    return std::vector<WorkerReport>(reports_.begin() + first, reports_.end());
  }
  uint32_t range() {
    ScopedExclusiveLock hold(&lock_);
    return range_;
  }
  int navigationEnds() {
    ScopedExclusiveLock hold(&lock_);
    return navigationEnds_;
  }
  HANDLE arrived() const { return arrived_.get(); }

 private:
  SRWLOCK lock_ = SRWLOCK_INIT;
  std::vector<WorkerReport> reports_;
  uint32_t range_ = 0;
  int navigationEnds_ = 0;
  ScopedEvent arrived_;
};

WorkerRun::WorkerRun()
    : recorder_(new Recorder),
      cancel_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      proceed_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      goAhead_(proceed_.get()) {}

WorkerRun::~WorkerRun() {
  Stop();
  delete recorder_;
}

void WorkerRun::Start(const std::wstring& folder, const std::wstring& staging) {
  Stop();
  ResetEvent(cancel_.get());
  // As the wizard's retry: a go-ahead given stays given, for the new worker
  // to take.
  goAhead_.ReleaseTaken();
  recorder_->Clear();
  choices_.folder = folder.c_str();
  line_.Open();
  inputs_.reporter = recorder_;
  inputs_.cancelEvent = cancel_.get();
  inputs_.goAhead = &goAhead_;
  inputs_.line = &line_;
  inputs_.stagingIsScratch = !staging.empty();
  inputs_.stagingFolder = (staging.empty() ? folder : staging).c_str();
  inputs_.stagingFolder.Append(L'\\');
  thread_.Reset(CreateThread(nullptr, 0, InstallWorker, &inputs_, 0, nullptr));
}

void WorkerRun::Proceed() { goAhead_.Give(choices_); }

bool WorkerRun::WaitForEnd(DWORD timeout) {
  return !thread_ || WaitForSingleObject(thread_.get(), timeout) == WAIT_OBJECT_0;
}

bool WorkerRun::WaitForReport(const std::function<bool(const WorkerReport&)>& test, DWORD timeout) {
  size_t seen = 0;
  double start = MillisecondsNow();
  for (;;) {
    // Whether it had ended before the reports are read: then they are all.
    bool ended = WaitForEnd(0);
    // Only the new ones: a copy of all at every report would hold the
    // worker's next report up for as long as the copy takes.
    for (const WorkerReport& report : recorder_->reports(seen)) {
      ++seen;
      if (test(report)) return true;
    }
    double waited = MillisecondsNow() - start;
    if (ended || waited >= timeout) return false;
    HANDLE handles[2] = {recorder_->arrived(), thread_.get()};
    WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(timeout - waited));
  }
}

DWORD WorkerRun::Stop() {
  if (!thread_) return 0;
  double start = MillisecondsNow();
  SetEvent(cancel_.get());
  line_.Cut(kLineCutWaitMs);
  WaitForSingleObject(thread_.get(), INFINITE);
  line_.Cut(INFINITE);
  thread_.Reset();
  return static_cast<DWORD>(MillisecondsNow() - start);
}

std::vector<WorkerReport> WorkerRun::reports() const { return recorder_->reports(); }
uint32_t WorkerRun::range() const { return recorder_->range(); }
int WorkerRun::navigationEnds() const { return recorder_->navigationEnds(); }

int MessageNumber(const WorkerReport& report) { return static_cast<int>(report.id); }

std::vector<int> MessageNumbers(const std::vector<WorkerReport>& reports) {
  std::vector<int> numbers;
  for (const WorkerReport& report : reports) numbers.push_back(MessageNumber(report));
  return numbers;
}

std::vector<int> MessageSequence(const std::vector<WorkerReport>& reports) {
  std::vector<int> numbers;
  for (int n : MessageNumbers(reports)) {
    bool step = n == kDownloadStep || n == kDatabaseStep;
    if (!step || numbers.empty() || numbers.back() != n) numbers.push_back(n);
  }
  return numbers;
}

#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "common/scoped.h"
#include "worker/worker_inputs.h"

// One report as the worker gave it, with the text the status line would
// show.
struct WorkerReport {
  ReportId id;
  std::vector<std::wstring> arguments;
  uint32_t position = 0;
  bool progress = false;
  int kind = 0;
  std::wstring text;
};

// The real install worker on a thread of its own, handed plain choices and
// a reporter that records every report: no wizard, no window.
class WorkerRun {
 public:
  WorkerRun();
  ~WorkerRun();  // stops the worker

  // What the go-ahead hands over; folder is set by Start.
  InstallChoices& choices() { return choices_; }

  // The keys the worker's manifest must be signed with, from the next Start.
  void UseKeys(const UpdateKeys* keys) { inputs_.keys = keys; }
  // Starts a worker for that install folder. Its package lands there at
  // once, as in update mode, or, with staging, in that scratch folder first.
  void Start(const std::wstring& folder, const std::wstring& staging = L"");
  // The go-ahead, with choices() as they are now.
  void Proceed();
  // Waits until the worker has ended; false after the time-out.
  bool WaitForEnd(DWORD timeout = 60000);
  // Waits until a report satisfies the test; false when the worker ended or
  // the time ran out first.
  bool WaitForReport(const std::function<bool(const WorkerReport&)>& test, DWORD timeout = 60000);
  // What closing the wizard does: sets the cancel event, cuts the line
  // and waits for the worker; its duration in ms.
  DWORD Stop();

  // Every report since Start, oldest first.
  std::vector<WorkerReport> reports() const;
  // The range of the last progress bar set up, and how often the worker
  // ended the navigation.
  uint32_t range() const;
  int navigationEnds() const;

 private:
  class Recorder;
  Recorder* recorder_;
  ScopedEvent cancel_;
  ScopedEvent proceed_;
  GoAhead goAhead_;
  InstallChoices choices_;
  InternetLine line_;
  WorkerInputs inputs_;
  ScopedThread thread_;
};

// The reports by number, in the order in which they can come.
enum Report : int {
  kChecking = static_cast<int>(ReportId::kChecking),
  kDownloading = static_cast<int>(ReportId::kDownloading),
  kDownloadFailed = static_cast<int>(ReportId::kDownloadFailed),
  kNoLength = static_cast<int>(ReportId::kNoLength),
  kPackageNotCreated = static_cast<int>(ReportId::kPackageNotCreated),
  kDownloadStep = static_cast<int>(ReportId::kDownloadStep),
  kNotAZip = static_cast<int>(ReportId::kNotAZip),
  kDownloaded = static_cast<int>(ReportId::kDownloaded),
  kDatabaseDownloading = static_cast<int>(ReportId::kDatabaseDownloading),
  kDatabaseFailed = static_cast<int>(ReportId::kDatabaseFailed),
  kDatabaseNotCreated = static_cast<int>(ReportId::kDatabaseNotCreated),
  kDatabaseStep = static_cast<int>(ReportId::kDatabaseStep),
  kUnpacking = static_cast<int>(ReportId::kUnpacking),
  kBackupFailed = static_cast<int>(ReportId::kBackupFailed),
  kExtractFailed = static_cast<int>(ReportId::kExtractFailed),
  kFinished = static_cast<int>(ReportId::kFinished),
  kNoRoom = static_cast<int>(ReportId::kNoRoom),
  kNotVerified = static_cast<int>(ReportId::kNotVerified),
};

int MessageNumber(const WorkerReport& report);
std::vector<int> MessageNumbers(const std::vector<WorkerReport>& reports);
// The report numbers with runs of a progress report (kDownloadStep,
// kDatabaseStep) collapsed into one.
std::vector<int> MessageSequence(const std::vector<WorkerReport>& reports);

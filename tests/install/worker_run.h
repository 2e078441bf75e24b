#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/fake_wizard.h"
#include "support/status_recorder.h"

// The real install worker, started with StartWorker on a fake wizard in this
// test program, while this thread answers its window messages like the
// wizard's user-interface thread would.
class WorkerRun {
 public:
  WorkerRun();
  ~WorkerRun();  // stops the worker
  FakeWizard& wizard() { return wizard_; }

  // Shows folder in the folder box and starts a worker.
  void Start(const std::wstring& folder);
  void Proceed();
  // Pumps messages until the worker has ended; false after the time-out.
  bool WaitForEnd(DWORD timeout = 60000);
  // Pumps messages until a report satisfies the test; false when the worker
  // ended or the time ran out first.
  bool WaitForReport(const std::function<bool(const StatusReport&)>& test, DWORD timeout = 60000);
  // StopWorker, as closing the wizard calls it; its duration in ms.
  DWORD Stop();
  // Every report since Start, oldest first.
  const std::vector<StatusReport>& reports();

 private:
  bool Pump(DWORD milliseconds);
  FakeWizard wizard_;
  std::vector<StatusReport> reports_;
};

// Short forms of the reports for comparisons: the status number of each
// report (1 to 16) by its fixed text, 0 for an unknown one.
int MessageNumber(const StatusReport& report);
std::vector<int> MessageNumbers(const std::vector<StatusReport>& reports);
// The message numbers with runs of a progress message (6, 12) collapsed
// into one.
std::vector<int> MessageSequence(const std::vector<StatusReport>& reports);

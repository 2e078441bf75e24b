#include "install/worker_inputs.h"

#include "common/scoped.h"

void GoAhead::Give(const InstallChoices& choices) {
  {
    ScopedExclusiveLock hold(&lock_);
    choices_ = choices;
  }
  ::SetEvent(event_);
}

void GoAhead::Withdraw() { ResetEvent(event_); }

InstallChoices GoAhead::Choices() const {
  ScopedExclusiveLock hold(&lock_);
  return choices_;
}

bool CancelSet(const WorkerInputs& inputs) {
  return WaitForSingleObject(inputs.cancelEvent, 0) != WAIT_TIMEOUT;
}

void SendProgress(const WorkerInputs& inputs, ReportId id, uint32_t position, const wchar_t* first,
                  const wchar_t* second, const wchar_t* third) {
  StatusReport report = {id, {first, second, third}, 0, position};
  while (report.argumentCount < kMaxReportArguments && report.arguments[report.argumentCount]) {
    ++report.argumentCount;
  }
  inputs.reporter->Report(report);
}

void Send(const WorkerInputs& inputs, ReportId id, const wchar_t* first, const wchar_t* second,
          const wchar_t* third) {
  SendProgress(inputs, id, 0, first, second, third);
}

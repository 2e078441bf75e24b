#include "worker/worker_inputs.h"

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

namespace {

void SendArguments(const WorkerInputs& inputs, ReportId id, uint32_t position,
                   const wchar_t* const (&arguments)[kMaxReportArguments]) {
  StatusReport report = {id, {}, 0, position};
  while (report.argumentCount < kMaxReportArguments && arguments[report.argumentCount]) {
    report.arguments[report.argumentCount] = arguments[report.argumentCount];
    ++report.argumentCount;
  }
  inputs.reporter->Report(report);
}

}  // namespace

void SendProgress(const WorkerInputs& inputs, ReportId id, uint32_t position, const wchar_t* first,
                  const wchar_t* second, const wchar_t* third) {
  const wchar_t* const arguments[kMaxReportArguments] = {first, second, third, nullptr, nullptr};
  SendArguments(inputs, id, position, arguments);
}

void Send(const WorkerInputs& inputs, ReportId id, const wchar_t* first, const wchar_t* second,
          const wchar_t* third, const wchar_t* fourth, const wchar_t* fifth) {
  const wchar_t* const arguments[kMaxReportArguments] = {first, second, third, fourth, fifth};
  SendArguments(inputs, id, 0, arguments);
}

#include "worker/worker_inputs.h"

#include "common/scoped.h"

void GoAhead::Give(const InstallChoices& choices) {
  ScopedExclusiveLock hold(&lock_);
  if (taken_) return;
  choices_ = choices;
  given_ = true;
  // Under the lock: the event is set exactly while a go-ahead is given.
  SetEvent(event_);
}

bool GoAhead::Withdraw() {
  ScopedExclusiveLock hold(&lock_);
  if (taken_) return false;
  given_ = false;
  ResetEvent(event_);
  return true;
}

bool GoAhead::Take(InstallChoices* choices) {
  ScopedExclusiveLock hold(&lock_);
  if (!given_) return false;
  taken_ = true;
  *choices = choices_;
  return true;
}

void GoAhead::ReleaseTaken() {
  ScopedExclusiveLock hold(&lock_);
  taken_ = false;
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

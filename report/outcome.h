#pragma once

#include <windows.h>
#include <stdint.h>

#include "common/str.h"
#include "report/status_report.h"

// What a stage of the worker comes back with: done, cancelled, or failed
// with the report the failure stands for and its arguments. Only the
// pipeline turns a failure into a report, once, with what the user must
// know besides (whether the installation is intact).
class Outcome {
 public:
  static Outcome Done() { return Outcome(Kind::kDone); }
  static Outcome Cancelled() { return Outcome(Kind::kCancelled); }
  // Arguments in the report's order; a null one ends them.
  static Outcome Failed(ReportId report, const wchar_t* first = nullptr,
                        const wchar_t* second = nullptr, const wchar_t* third = nullptr,
                        const wchar_t* fourth = nullptr);
  // The same, with the system's text for the error as the last argument.
  static Outcome FailedWithError(ReportId report, DWORD error, const wchar_t* first,
                                 const wchar_t* second = nullptr);

  bool done() const { return kind_ == Kind::kDone; }
  bool cancelled() const { return kind_ == Kind::kCancelled; }
  bool failed() const { return kind_ == Kind::kFailed; }

  // A failure after which the install folder could not be put back: the
  // next start of the setup finishes what is left there.
  Outcome& LeftPending() {
    pending_ = true;
    return *this;
  }
  bool pending() const { return pending_; }

  ReportId report() const { return report_; }
  int argumentCount() const { return count_; }
  const WStr& argument(int i) const { return arguments_[i]; }

 private:
  enum class Kind { kDone, kCancelled, kFailed };
  explicit Outcome(Kind kind) : kind_(kind) {}

  Kind kind_;
  bool pending_ = false;
  ReportId report_ = ReportId::kChecking;
  // A failure's own arguments; the pipeline may add a line of its own.
  static constexpr int kMaxArguments = kMaxReportArguments - 1;
  WStr arguments_[kMaxArguments];
  int count_ = 0;
};

// Not enough room on the drive of folder: how much is needed and free, in
// kilobytes rounded up.
Outcome NoRoomFailure(const wchar_t* folder, uint64_t needed, uint64_t available);

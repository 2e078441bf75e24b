#include "report/outcome.h"

#include <initializer_list>

#include "common/error_text.h"
#include "common/number_text.h"

Outcome Outcome::Failed(ReportId report, const wchar_t* first, const wchar_t* second,
                        const wchar_t* third, const wchar_t* fourth) {
  Outcome outcome(Kind::kFailed);
  outcome.report_ = report;
  for (const wchar_t* argument : {first, second, third, fourth}) {
    if (!argument) break;
    outcome.arguments_[outcome.count_++] = argument;
  }
  return outcome;
}

Outcome Outcome::FailedWithError(ReportId report, DWORD error, const wchar_t* first,
                                 const wchar_t* second) {
  WStr reason = ErrorText(error);
  return second ? Failed(report, first, second, reason.c_str())
                : Failed(report, first, reason.c_str());
}

Outcome NoRoomFailure(const wchar_t* folder, uint64_t needed, uint64_t available) {
  auto kilobytes = [](uint64_t value) {
    uint64_t kb = (value + 1023) / 1024;
    return GroupThousands(DecimalText(kb > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kb)));
  };
  return Outcome::Failed(ReportId::kNoRoom, folder, kilobytes(needed).c_str(),
                         kilobytes(available).c_str());
}

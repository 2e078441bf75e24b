#include "support/fault_plan.h"

#include <windows.h>
#include <stdlib.h>

#include "disk/fault_point.h"

namespace {

volatile LONG gCalls = 0;
volatile LONG gAt = 0;
volatile LONG gMode = static_cast<LONG>(FaultMode::kNone);

// A child's plan, from its environment, before its first call.
[[maybe_unused]] const bool gFromEnvironment = [] {
  wchar_t text[64] = {};
  if (GetEnvironmentVariableW(L"QUELDA_FAULT", text, 64) == 0) return false;
  FaultMode mode = wcsncmp(text, L"kill:", 5) == 0   ? FaultMode::kKill
                   : wcsncmp(text, L"fail:", 5) == 0 ? FaultMode::kFail
                                                     : FaultMode::kNone;
  SetFaultPlan(mode, wcstol(text + 5, nullptr, 10));
  return true;
}();

}  // namespace

void SetFaultPlan(FaultMode mode, long at) {
  InterlockedExchange(&gMode, static_cast<LONG>(FaultMode::kNone));
  InterlockedExchange(&gCalls, 0);
  InterlockedExchange(&gAt, at);
  InterlockedExchange(&gMode, static_cast<LONG>(mode));
}

long FaultCalls() { return InterlockedCompareExchange(&gCalls, 0, 0); }

FaultAction FaultPoint() {
  LONG call = InterlockedIncrement(&gCalls);
  FaultMode mode = static_cast<FaultMode>(InterlockedCompareExchange(&gMode, 0, 0));
  if (mode == FaultMode::kNone || call != InterlockedCompareExchange(&gAt, 0, 0)) {
    return FaultAction::kNone;
  }
  if (mode == FaultMode::kKill) TerminateProcess(GetCurrentProcess(), kFaultExitCode);
  return FaultAction::kFail;
}

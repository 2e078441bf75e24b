#include "support/fault_plan.h"

#include <windows.h>
#include <stdint.h>
#include <stdlib.h>

#include "disk/fault_point.h"

namespace {

volatile LONG gCalls[kFaultLanes] = {};
volatile LONG gAt = 0;
volatile LONG gLane = 0;
volatile LONG gMode = static_cast<LONG>(FaultMode::kNone);
const DWORD gLaneSlot = TlsAlloc();

int CurrentLane() {
  intptr_t lane = reinterpret_cast<intptr_t>(TlsGetValue(gLaneSlot));
  return lane > 0 && lane < kFaultLanes ? static_cast<int>(lane) : 0;
}

// A child's plan, from its environment, before its first call.
[[maybe_unused]] const bool gFromEnvironment = [] {
  wchar_t text[64] = {};
  if (GetEnvironmentVariableW(L"QUELDA_FAULT", text, 64) == 0) return false;
  FaultMode mode = wcsncmp(text, L"kill:", 5) == 0   ? FaultMode::kKill
                   : wcsncmp(text, L"fail:", 5) == 0 ? FaultMode::kFail
                                                     : FaultMode::kNone;
  wchar_t* end = nullptr;
  long at = wcstol(text + 5, &end, 10);
  int lane = end && *end == L'@' ? static_cast<int>(wcstol(end + 1, nullptr, 10)) : 0;
  SetFaultPlan(mode, at, lane);
  return true;
}();

}  // namespace

void SetFaultPlan(FaultMode mode, long at, int lane) {
  InterlockedExchange(&gMode, static_cast<LONG>(FaultMode::kNone));
  for (volatile LONG& calls : gCalls) InterlockedExchange(&calls, 0);
  InterlockedExchange(&gAt, at);
  InterlockedExchange(&gLane, lane);
  InterlockedExchange(&gMode, static_cast<LONG>(mode));
}

long FaultCalls(int lane) {
  if (lane >= 0 && lane < kFaultLanes) return InterlockedCompareExchange(&gCalls[lane], 0, 0);
  long all = 0;
  for (volatile LONG& calls : gCalls) all += InterlockedCompareExchange(&calls, 0, 0);
  return all;
}

void SetFaultLane(int lane) {
  TlsSetValue(gLaneSlot, reinterpret_cast<void*>(static_cast<intptr_t>(lane)));
}

FaultAction FaultPoint() {
  int lane = CurrentLane();
  LONG call = InterlockedIncrement(&gCalls[lane]);
  FaultMode mode = static_cast<FaultMode>(InterlockedCompareExchange(&gMode, 0, 0));
  if (mode == FaultMode::kNone || lane != InterlockedCompareExchange(&gLane, 0, 0) ||
      call != InterlockedCompareExchange(&gAt, 0, 0)) {
    return FaultAction::kNone;
  }
  if (mode == FaultMode::kKill) TerminateProcess(GetCurrentProcess(), kFaultExitCode);
  return FaultAction::kFail;
}

#include "support/stall_plan.h"

#include "fetch/stall_limit.h"

namespace {

volatile LONG gLimit = kStallLimitMs;

}  // namespace

void SetStallLimit(DWORD milliseconds) {
  InterlockedExchange(&gLimit, static_cast<LONG>(milliseconds));
}

void ResetStallLimit() { SetStallLimit(kStallLimitMs); }

DWORD StallLimitMs() { return static_cast<DWORD>(InterlockedCompareExchange(&gLimit, 0, 0)); }

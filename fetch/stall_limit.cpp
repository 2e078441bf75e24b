#include "fetch/stall_limit.h"

DWORD StallLimitMs() { return kStallLimitMs; }

#include "install/stall_limit.h"

DWORD StallLimitMs() { return kStallLimitMs; }

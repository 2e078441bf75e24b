#include "disk/fault_point.h"

FaultAction FaultPoint() { return FaultAction::kNone; }

void SetFaultLane(int) {}

#pragma once

#include "common/vec.h"
#include "update/switch_steps.h"
#include "update/update_journal.h"

// Work on one file step, on the lane it runs on; false, with *failure set,
// when it failed.
using StepWork = bool (*)(void* context, int lane, const SwitchStep& step, StepFailure* failure);

// Every file step of the list, shared over two lanes: the even ones on lane
// 0 (this thread), the odd ones on lane 1, on a thread of its own when apart
// and one can be made, else on this thread after lane 0. Each lane numbers
// its fault points on its own and stops at its first failure or once the
// other lane's has failed. True when every step was made; else *failure is
// the failure of the first lane that failed.
bool RunOnTwoLanes(const Vec<SwitchStep>& steps, StepWork work, void* context, bool apart,
                   StepFailure* failure);

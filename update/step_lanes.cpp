#include "update/step_lanes.h"

#include <windows.h>

#include "common/scoped.h"
#include "disk/fault_point.h"

namespace {

struct Lane {
  const Vec<SwitchStep>* steps;
  StepWork work;
  void* context;
  int number;
  volatile LONG* stop;
  StepFailure failure;
  bool made;
};

DWORD WINAPI RunLane(void* param) {
  Lane& lane = *static_cast<Lane*>(param);
  SetFaultLane(lane.number);
  const Vec<SwitchStep>& steps = *lane.steps;
  for (size_t i = lane.number; lane.made && i < steps.size(); i += 2) {
    if (InterlockedCompareExchange(lane.stop, 0, 0)) break;
    if (steps[i].kind != StepKind::kFile) continue;
    lane.made = lane.work(lane.context, lane.number, steps[i], &lane.failure);
    if (!lane.made) InterlockedExchange(lane.stop, 1);
  }
  SetFaultLane(0);
  return 0;
}

}  // namespace

bool RunOnTwoLanes(const Vec<SwitchStep>& steps, StepWork work, void* context, bool apart,
                   StepFailure* failure) {
  volatile LONG stop = 0;
  Lane lanes[2] = {{&steps, work, context, 0, &stop, {}, true},
                   {&steps, work, context, 1, &stop, {}, true}};
  ScopedThread other(apart ? CreateThread(nullptr, 0, RunLane, &lanes[1], 0, nullptr) : nullptr);
  RunLane(&lanes[0]);
  if (other) {
    WaitForSingleObject(other.get(), INFINITE);
  } else {
    RunLane(&lanes[1]);
  }
  for (Lane& lane : lanes) {
    if (lane.made) continue;
    *failure = lane.failure;
    return false;
  }
  return true;
}

#pragma once

// Every file-system call of the installation passes here first. The setup
// links the definition that never interferes (fault_point.cpp); a test
// program links one of its own that fails the Nth call, or ends the
// process at it, so that every instant of an update can be tried.
enum class FaultAction {
  kNone,
  kFail,  // the call fails with the error it would report
};

// Called before each call; a test may end the process here.
FaultAction FaultPoint();

// The calling thread's lane among those an update's work is shared over:
// 0 for the worker's own thread, 1 for the second thread of the staging
// and of the switch. A test numbers each lane's calls on its own: a lane
// makes the same calls in the same order from run to run, while the two
// lanes' calls interleave as the threads run.
void SetFaultLane(int lane);

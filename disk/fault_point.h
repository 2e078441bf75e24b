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

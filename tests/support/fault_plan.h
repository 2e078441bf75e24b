#pragma once

// The fault point of a test program that links fault_plan.cpp: the Nth
// file-system call of the installation in a lane (disk/fault_point.h) from
// the plan's start fails, or the process ends at it (exit code
// kFaultExitCode), as a power cut would end it. Each lane's calls are
// numbered on their own, so that the same N of a lane is the same call in
// every run. Without a plan nothing interferes, and the calls are only
// counted. A child process takes its plan from QUELDA_FAULT ("fail:N",
// "kill:N", or with a lane "kill:N@1").
enum class FaultMode { kNone, kFail, kKill };

constexpr unsigned kFaultExitCode = 77;
constexpr int kFaultLanes = 2;

void SetFaultPlan(FaultMode mode, long at, int lane = 0);
// The calls of the lane since the plan was last set; of all lanes for -1.
long FaultCalls(int lane = -1);

#pragma once

// The fault point of a test program that links fault_plan.cpp: the Nth
// file-system call of the installation from the plan's start fails, or the
// process ends at it (exit code kFaultExitCode), as a power cut would end
// it. Without a plan nothing interferes, and the calls are only counted.
// A child process takes its plan from QUELDA_FAULT ("fail:N" or "kill:N").
enum class FaultMode { kNone, kFail, kKill };

constexpr unsigned kFaultExitCode = 77;

void SetFaultPlan(FaultMode mode, long at);
// The calls since the plan was last set.
long FaultCalls();

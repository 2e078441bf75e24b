#pragma once

#include <windows.h>

// The stall limit of a test program that links stall_plan.cpp: the
// setup's own (kStallLimitMs) unless a test shortens it, so that a stall
// can be tried without waiting for the whole limit.
void SetStallLimit(DWORD milliseconds);
// Back to the setup's own limit.
void ResetStallLimit();

#pragma once

#include <windows.h>

// The performance counter in milliseconds, for benchmarks.
inline double MillisecondsNow() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// How long a test waits for a state it expects: far beyond what a slow or
// loaded machine needs, so that passing never hangs on timing; only a test
// that is failing waits it out.
constexpr DWORD kPatience = 30000;
// The bound of "at once" for stopping and closing: ample for a loaded
// machine, yet well short of the stalls it guards against (the manifest's
// 15 s limit, a download that trickles on, an endless wait).
constexpr DWORD kPromptly = 10000;

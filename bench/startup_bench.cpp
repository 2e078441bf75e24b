// How long the setup takes from its start until its wizard frame is shown,
// against a program that shows one empty dialog, alternating the two in one
// run. Prints the medians and their ratio (the goal is 1.0).
#include <windows.h>

#include "support/clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/test_paths.h"
#include "support/window_finder.h"

namespace {

double Now() { return MillisecondsNow(); }

// Milliseconds from CreateProcess until a visible dialog of the process
// exists, or a negative value on failure.
double TimeToWindow(const std::wstring& exe) {
  ChildProcess process;
  double start = Now();
  if (!process.Start(exe)) return -1;
  HWND window = nullptr;
  while (!window && Now() - start < 30000) {
    window = FindProcessWindow(process.id(), L"#32770");
    if (!window) Sleep(1);
  }
  double elapsed = Now() - start;
  if (!window) return -1;
  PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
  if (process.WaitForExit(5000) < 0) process.Kill();
  return elapsed;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
  std::wstring setup = SetupExePath();
  std::wstring reference = BuildDir() + L"\\bench\\empty_dialog.exe";
  std::vector<double> setupTimes, referenceTimes;
  // One unmeasured start of each warms the file cache and the wineserver.
  TimeToWindow(setup);
  TimeToWindow(reference);
  for (int i = 0; i < rounds; ++i) {
    double a = TimeToWindow(setup);
    double b = TimeToWindow(reference);
    if (a < 0 || b < 0) {
      std::printf("startup: a program did not show its window\n");
      return 1;
    }
    setupTimes.push_back(a);
    referenceTimes.push_back(b);
  }
  double s = Median(setupTimes), r = Median(referenceTimes);
  std::printf(
      "startup: wizard frame shown after %.1f ms, empty dialog after %.1f ms "
      "(medians of %d starts each)\n",
      s, r, rounds);
  constexpr double kGoal = 1.3;  // setup / empty dialog, at most
  std::printf("startup: ratio %.2f (setup / empty dialog; goal <= %.2f: %s)\n", s / r, kGoal,
              s / r <= kGoal ? "met" : "NOT met");
  return 0;
}

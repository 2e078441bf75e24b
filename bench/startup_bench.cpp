// How long the setup takes from its start until its wizard frame is shown,
// against a program that shows one empty dialog, and against the same
// dialog in a program that imports the setup's system DLLs and starts the
// common controls, alternating the three in one run. Prints the medians and
// the ratios.
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
  std::wstring programs[] = {SetupExePath(), BuildDir() + L"\\bench\\empty_dialog.exe",
                              BuildDir() + L"\\bench\\platform_dialog.exe"};
  std::vector<double> times[3];
  // One unmeasured start of each warms the file cache and the wineserver.
  for (const std::wstring& program : programs) TimeToWindow(program);
  for (int i = 0; i < rounds; ++i) {
    for (int p = 0; p < 3; ++p) {
      double t = TimeToWindow(programs[p]);
      if (t < 0) {
        std::printf("startup: a program did not show its window\n");
        return 1;
      }
      times[p].push_back(t);
    }
  }
  double s = Median(times[0]), r = Median(times[1]), platform = Median(times[2]);
  std::printf(
      "startup: wizard frame shown after %.1f ms, empty dialog after %.1f ms, the same with the "
      "setup's DLLs and common controls after %.1f ms (medians of %d starts each)\n",
      s, r, platform, rounds);
  constexpr double kGoal = 1.3;  // setup / empty dialog, at most
  std::printf("startup: ratio %.2f (setup / empty dialog; goal <= %.2f: %s)\n", s / r, kGoal,
              s / r <= kGoal ? "met" : "NOT met");
  std::printf("startup: ratio %.2f (setup / empty dialog with the setup's DLLs)\n", s / platform);
  return 0;
}

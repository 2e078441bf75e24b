#pragma once

#include <windows.h>
#include <stdint.h>

#include "report/status_report.h"

constexpr size_t kStatusTextSize = 512;  // 511 characters and the terminator

// What the install worker last reported, shared with the user interface
// under the status lock.
struct StatusView {
  wchar_t text[kStatusTextSize];
  int kind;
  bool progress;
  // The bar, for a report with the progress flag: its position out of
  // range (kFullBar: full), and the number of the set-up that range came
  // with, so that each new bar starts at 0 once.
  uint32_t position;
  uint32_t range;
  uint32_t rangeSerial;
};

// Worker thread only: stores the report's text (cut at 511 characters),
// kind, progress flag and position, then posts WM_SETUP_STATUS with the
// progress flag to the window unless one is still on its way: the window
// shows the latest report, and a worker faster than the window leaves it
// no backlog of stale ones.
void PostStatus(HWND window, const StatusReport& report);
// Worker thread only: a new bar of range steps, at position 0.
void PostProgressRange(HWND window, uint32_t range);

// User-interface thread, on WM_SETUP_STATUS: the latest report; the next
// one posts again.
void TakeStatus(StatusView* view);

int GetStatusKind();
// Copies the status text (always terminated, at most size - 1 characters).
void CopyStatusText(wchar_t* text, size_t size);

#pragma once

#include <windows.h>

// What the install worker last reported, shared with the user interface.
enum StatusKind : int {
  kStatusWorking = 0,
  kStatusFailed = 1,
  kStatusFinished = 2,
};

constexpr size_t kStatusTextSize = 512;  // 511 characters and the terminator

// Worker thread only: stores the formatted text (cut at 511 characters) and
// the kind under the status lock, then posts WM_SETUP_STATUS with the
// progress flag to the window.
void PostStatus(HWND window, unsigned progress, int kind, const wchar_t* format, ...);

// Called with every report as PostStatus stores it, before the message is
// posted: the page shows only the latest text, and tests need each one.
// None in the setup.
using StatusObserver = void (*)(unsigned progress, int kind, const wchar_t* text);
void SetStatusObserver(StatusObserver observer);

int GetStatusKind();
// Copies the status text (always terminated, at most size - 1 characters).
void CopyStatusText(wchar_t* text, size_t size);

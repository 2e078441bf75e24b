#include "app/status_slot.h"

#include <stdarg.h>
#include <stdio.h>
#include <wchar.h>

#include "app/control_ids.h"

namespace {

// A slim reader/writer lock held exclusively: plain, not recursive, and
// needs no set-up before the first report.
SRWLOCK gStatusLock = SRWLOCK_INIT;
wchar_t gStatusText[kStatusTextSize];
int gStatusKind = kStatusWorking;
StatusObserver gStatusObserver = nullptr;

}  // namespace

void PostStatus(HWND window, unsigned progress, int kind, const wchar_t* format, ...) {
  wchar_t text[kStatusTextSize];
  va_list args;
  va_start(args, format);
  // _TRUNCATE: longer reports are cut at 511 characters.
  _vsnwprintf_s(text, kStatusTextSize, _TRUNCATE, format, args);
  va_end(args);

  AcquireSRWLockExclusive(&gStatusLock);
  wcsncpy_s(gStatusText, kStatusTextSize, text, _TRUNCATE);
  gStatusKind = kind;
  StatusObserver observer = gStatusObserver;
  ReleaseSRWLockExclusive(&gStatusLock);
  if (observer) observer(progress, kind, text);

  PostMessageW(window, WM_SETUP_STATUS, progress, 0);
}

void SetStatusObserver(StatusObserver observer) {
  AcquireSRWLockExclusive(&gStatusLock);
  gStatusObserver = observer;
  ReleaseSRWLockExclusive(&gStatusLock);
}

int GetStatusKind() {
  AcquireSRWLockExclusive(&gStatusLock);
  int kind = gStatusKind;
  ReleaseSRWLockExclusive(&gStatusLock);
  return kind;
}

void CopyStatusText(wchar_t* text, size_t size) {
  if (size == 0) return;
  AcquireSRWLockExclusive(&gStatusLock);
  wcsncpy_s(text, size, gStatusText, _TRUNCATE);
  ReleaseSRWLockExclusive(&gStatusLock);
}

#include "app/status_slot.h"

#include <wchar.h>

#include "app/control_ids.h"
#include "common/scoped.h"

namespace {

// Plain, not recursive, and needs no set-up before the first report.
SRWLOCK gStatusLock = SRWLOCK_INIT;
StatusView gStatus = {{}, kStatusWorking, false, 0, 0, 0};
// A WM_SETUP_STATUS is on its way that the window has not yet taken.
bool gStatusPosted = false;

// Under the lock: whether this report must post.
bool MarkPosted() {
  bool post = !gStatusPosted;
  gStatusPosted = true;
  return post;
}

void Post(HWND window, bool progress) {
  if (PostMessageW(window, WM_SETUP_STATUS, progress, 0)) return;
  // Not on its way after all: the next report tries again.
  ScopedExclusiveLock hold(&gStatusLock);
  gStatusPosted = false;
}

}  // namespace

void PostStatus(HWND window, const StatusReport& report) {
  wchar_t text[kStatusTextSize];
  FormatReport(report, text, kStatusTextSize);
  bool progress = ReportShowsProgress(report.id);
  bool post;
  {
    ScopedExclusiveLock hold(&gStatusLock);
    wcsncpy_s(gStatus.text, kStatusTextSize, text, _TRUNCATE);
    gStatus.kind = ReportKind(report.id);
    gStatus.progress = progress;
    if (progress) gStatus.position = report.position;
    post = MarkPosted();
  }
  if (post) Post(window, progress);
}

void PostProgressRange(HWND window, uint32_t range) {
  bool post;
  bool progress;
  {
    ScopedExclusiveLock hold(&gStatusLock);
    gStatus.range = range;
    gStatus.position = 0;
    ++gStatus.rangeSerial;
    progress = gStatus.progress;
    post = MarkPosted();
  }
  if (post) Post(window, progress);
}

void TakeStatus(StatusView* view) {
  ScopedExclusiveLock hold(&gStatusLock);
  *view = gStatus;
  gStatusPosted = false;
}

int GetStatusKind() {
  ScopedExclusiveLock hold(&gStatusLock);
  return gStatus.kind;
}

void CopyStatusText(wchar_t* text, size_t size) {
  if (size == 0) return;
  ScopedExclusiveLock hold(&gStatusLock);
  wcsncpy_s(text, size, gStatus.text, _TRUNCATE);
}

#include "support/status_recorder.h"

#include <windows.h>

#include "app/status_slot.h"

namespace {

SRWLOCK gLock = SRWLOCK_INIT;
std::vector<StatusReport>* gReports = nullptr;

void Record(unsigned progress, int kind, const wchar_t* text) {
  AcquireSRWLockExclusive(&gLock);
  if (!gReports) gReports = new std::vector<StatusReport>;
  gReports->push_back({progress, kind, text});
  ReleaseSRWLockExclusive(&gLock);
}

// Linked into a test program, the recorder sees every report from the start.
[[maybe_unused]] const bool gObserving = (SetStatusObserver(Record), true);

}  // namespace

std::vector<StatusReport> TakeStatusReports() {
  std::vector<StatusReport> reports;
  AcquireSRWLockExclusive(&gLock);
  if (gReports) reports.swap(*gReports);
  ReleaseSRWLockExclusive(&gLock);
  return reports;
}

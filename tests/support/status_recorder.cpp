#include "support/status_recorder.h"

#include <windows.h>

#include <stdarg.h>
#include <wchar.h>

// The linker sends calls of PostStatus here (--wrap, see
// quelda_record_status), and this passes each on unchanged.
extern "C" void __real__Z10PostStatusP6HWND__jiPKwz(HWND, unsigned, int, const wchar_t*, ...);

namespace {

SRWLOCK gLock = SRWLOCK_INIT;
std::vector<StatusReport>* gReports = nullptr;

}  // namespace

extern "C" void __wrap__Z10PostStatusP6HWND__jiPKwz(HWND window, unsigned progress, int kind,
                                                    const wchar_t* format, ...) {
  wchar_t text[512];
  va_list args;
  va_start(args, format);
  _vsnwprintf_s(text, 512, _TRUNCATE, format, args);
  va_end(args);
  AcquireSRWLockExclusive(&gLock);
  if (!gReports) gReports = new std::vector<StatusReport>;
  gReports->push_back({progress, kind, text});
  ReleaseSRWLockExclusive(&gLock);
  __real__Z10PostStatusP6HWND__jiPKwz(window, progress, kind, L"%s", text);
}

std::vector<StatusReport> TakeStatusReports() {
  std::vector<StatusReport> reports;
  AcquireSRWLockExclusive(&gLock);
  if (gReports) reports.swap(*gReports);
  ReleaseSRWLockExclusive(&gLock);
  return reports;
}

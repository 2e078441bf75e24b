#include "apply/close_app.h"

#include <windows.h>
#include <wchar.h>

#include "common/foreign_window.h"
#include "common/same_path.h"
#include "common/scoped.h"

namespace {

struct CloseRequest {
  UINT message;
  WPARAM wParam;
};

// Commands of the application's own on which it closes.
constexpr CloseRequest kCloseCommand = {WM_COMMAND, 3};
constexpr CloseRequest kExitCommand = {WM_COMMAND, 0xE300};
// What a dialog or window in general takes for a close.
constexpr CloseRequest kEscapeKey = {WM_KEYDOWN, VK_ESCAPE};
constexpr CloseRequest kCancelCommand = {WM_COMMAND, IDCANCEL};
constexpr CloseRequest kCloseMessage = {WM_CLOSE, 0};

// The ways the application has been known to accept a close, in order.
constexpr CloseRequest kRequests[] = {kCloseCommand, kEscapeKey, kCancelCommand, kExitCommand,
                                      kCloseMessage};

constexpr size_t kMaxHungThreads = 8;
// How long, in all, the processes asked to close are given to end.
constexpr DWORD kExitWait = 10000;

struct Search {
  const wchar_t* application;
  // Threads that let a request time out: their other windows (a hidden one
  // of the input method, say) would only time out as well.
  DWORD hungThreads[kMaxHungThreads];
  size_t hungCount;
  // The processes that accepted a request, to wait for.
  ScopedHandle processes[MAXIMUM_WAIT_OBJECTS];
  DWORD processIds[MAXIMUM_WAIT_OBJECTS];
  size_t processCount;
};

void RememberProcess(Search& search, DWORD processId) {
  for (size_t i = 0; i < search.processCount; ++i) {
    if (search.processIds[i] == processId) return;
  }
  if (search.processCount == MAXIMUM_WAIT_OBJECTS) return;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return;
  search.processIds[search.processCount] = processId;
  search.processes[search.processCount++].Reset(process);
}

bool IsHung(const Search& search, DWORD thread) {
  for (size_t i = 0; i < search.hungCount; ++i) {
    if (search.hungThreads[i] == thread) return true;
  }
  return false;
}

BOOL CALLBACK AskToClose(HWND window, LPARAM context) {
  Search& search = *reinterpret_cast<Search*>(context);
  WStr path = ProcessPathOfWindow(window);
  if (!SamePath(path.c_str(), search.application)) return TRUE;
  DWORD processId = 0;
  DWORD thread = GetWindowThreadProcessId(window, &processId);
  if (IsHung(search, thread)) return TRUE;
  for (const CloseRequest& request : kRequests) {
    // A window that leaves a request unanswered is asked nothing more:
    // a hung application would stall the installation, and a wizard
    // closed meanwhile could never end.
    DWORD_PTR answer = 0;
    if (!SendWithinLimit(window, request.message, request.wParam, 0, &answer)) {
      if (search.hungCount < kMaxHungThreads) search.hungThreads[search.hungCount++] = thread;
      break;
    }
    if (answer) {
      // Accepted: worth waiting for. A process that refused every request
      // or hung will not end by itself.
      RememberProcess(search, processId);
      break;
    }
  }
  return TRUE;
}

}  // namespace

void CloseRunningApp(const wchar_t* applicationFile) {
  // An empty path would match every process whose path cannot be read.
  if (!applicationFile || !applicationFile[0]) return;
  Search search = {};
  search.application = applicationFile;
  EnumWindows(AskToClose, reinterpret_cast<LPARAM>(&search));
  if (search.processCount == 0) return;
  // Its files are moved next: a process still shutting down may hold them.
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  for (size_t i = 0; i < search.processCount; ++i) handles[i] = search.processes[i].get();
  WaitForMultipleObjects(static_cast<DWORD>(search.processCount), handles, TRUE, kExitWait);
}

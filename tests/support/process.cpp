#include "support/process.h"

#include <tlhelp32.h>

ChildProcess::~ChildProcess() {
  Kill();
  if (process_) CloseHandle(process_);
}

bool ChildProcess::Start(const std::wstring& exe, const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  // Wine now and then reports a child that ended before it had started
  // (error 1359, nothing of the child ran, not even its C runtime's start),
  // after hundreds of starts in one process: that child is started again.
  for (int tries = 1;; ++tries) {
    if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       folder.c_str(), &startup, &info)) {
      break;
    }
    if (GetLastError() != ERROR_INTERNAL_ERROR || tries == 3) return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

long ChildProcess::WaitForExit(DWORD milliseconds) {
  if (!process_ || WaitForSingleObject(process_, milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return static_cast<long>(code);
}

bool ChildProcess::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void ChildProcess::Kill() {
  if (Running()) {
    TerminateProcess(process_, 99);
    WaitForSingleObject(process_, 60000);
  }
}

int KillProcessesUnder(const std::wstring& folder) {
  int ended = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  std::wstring prefix = folder + L"\\";
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                    entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size) &&
        lstrlenW(path) > static_cast<int>(prefix.size()) &&
        CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, path, static_cast<int>(prefix.size()),
                       prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL) {
      TerminateProcess(process, 99);
      WaitForSingleObject(process, 60000);
      ++ended;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ended;
}

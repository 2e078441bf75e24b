#pragma once

#include <windows.h>

#include <string>

// A program started by a test; killed when the object goes away while it
// still runs, so that a failed test leaves nothing behind.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Starts exe with the given argument text, in its own folder.
  bool Start(const std::wstring& exe, const std::wstring& arguments = L"");
  // Exit code, or -1 when it has not ended within the time.
  long WaitForExit(DWORD milliseconds);
  bool Running() const;
  void Kill();
  DWORD id() const { return id_; }
  HANDLE handle() const { return process_; }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// Ends every process whose executable lies in the folder (or below it), such
// as an application a setup under test started; waits for each to end.
int KillProcessesUnder(const std::wstring& folder);

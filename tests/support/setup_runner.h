#pragma once

#include <windows.h>

#include <string>

#include "support/process.h"

// A copy of QueldaSetup.exe in a scratch folder of its own, started and
// driven from outside like a user would.
class RunningSetup {
 public:
  // withApplication puts a Quelda.exe (the 1.2.3.0 stand-in) beside it;
  // root is where the folder is made (MakeScratchDir); setup is the
  // executable copied (default: the build's QueldaSetup.exe).
  explicit RunningSetup(const std::wstring& folderName, bool withApplication = false,
                        const std::wstring& root = L"", const std::wstring& setup = L"");
  // Also ends whatever the setup started from its folder.
  ~RunningSetup();
  // Starts it and waits for the visible wizard frame.
  bool Start();
  // Cancel, answering the question with OK if one is asked; the exit code
  // (-1 when it did not end in time).
  long Close();

  const std::wstring& folder() const { return folder_; }
  const std::wstring& exe() const { return exe_; }
  HWND frame() const { return frame_; }
  ChildProcess& process() { return process_; }
  // The page holding the control id (1004 folder, 1007 options, 1000 download).
  HWND Page(int controlId) const;

 private:
  std::wstring folder_;
  std::wstring exe_;
  ChildProcess process_;
  HWND frame_ = nullptr;
};

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"

// Everything the install worker asks of the wizard; it reaches the wizard's
// windows and state in no other way. The calls that read or change a
// control are window messages, answered by the user-interface thread.

// The folder box's current text, a backslash when it lacks one, then the
// relative path. Read at every call, so that a folder the user types while
// the worker runs counts from its next path on. Empty when the folder text
// is empty or longer than the folder test accepts (kInstallFolderLimit), or
// the whole does not fit in 511 characters.
WStr InstallPath(const wchar_t* relativePath);

// The install folder read once, for many paths built as InstallPath builds
// them: only for when the wizard can no longer change the folder.
class FixedInstallFolder {
 public:
  FixedInstallFolder();
  WStr Path(const wchar_t* relativePath) const;

 private:
  WStr folder_;  // with its backslash; empty when InstallPath has none
};

// The boxes of the options page.
enum class InstallOption {
  kDemoDatabase,
  kDesktopLink,
  kProgramsLink,
  kStartupLink,
  kQuickLaunchLink,
};
bool IsOptionChecked(InstallOption option);

// Sets up the download page's progress bar for range steps (step 1,
// position 0, range 0 to range), in that order.
void PrepareProgressBar(HWND downloadPage, uint32_t range);

// Disables the frame's Back and Next for the rest of the run: past its
// go-ahead the worker changes the disk, and the user stays on its page.
void EndNavigation(HWND downloadPage);

// The WinInet session StartWorker opened for the worker; StopWorker closes
// it, which cuts a blocked read short.
HINTERNET WorkerSession();

// Set when the worker is to stop; manual-reset.
HANDLE CancelEvent();
// Set while the user is on the download page: the go-ahead to change the
// disk. Manual-reset.
HANDLE ProceedEvent();

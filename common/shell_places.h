#pragma once

#include "common/str.h"

// Windows 6.1 (Windows 7) or later.
bool IsWindows7OrLater();

// The quick-launch shortcut, formed only on Windows 7 or later from the
// application-data folder; empty when none is formed.
WStr QuickLaunchLinkPath();

// "\Quelda Manager.lnk" in the shell folder (CSIDL_DESKTOP, CSIDL_PROGRAMS,
// CSIDL_STARTUP), which is not created; empty when the folder cannot be got.
WStr ShellLinkPath(int csidl);

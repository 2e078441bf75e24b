#pragma once

#include <windows.h>

#include "install/version_number.h"
#include "zip/unzipper.h"

// The installation after the user's go-ahead: the demo database when asked
// for, closing a running application, moving what the package replaces
// into the backup folder, extracting every item, the shortcuts, and the
// finish report. Closes the archive on every path.
void InstallPackage(HWND page, ZipHandle* archive, int itemCount, PackedVersion newest);

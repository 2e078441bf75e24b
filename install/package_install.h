#pragma once

#include <windows.h>

#include "common/scoped.h"
#include "zip/unzipper.h"

// The installation after the user's go-ahead: the demo database when asked
// for, closing a running application, moving what the package replaces
// into the backup folder, extracting every item, the shortcuts, and the
// finish report. The archive is closed before the shortcuts are made, or
// on the failure that ends the run. facts are its zip check's: an item
// whose path would be too long in this install folder fails the run before
// anything changes.
void InstallPackage(HWND page, ScopedArchive archive, int itemCount, const ArchiveFacts& facts);

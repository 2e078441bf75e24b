#pragma once

#include <windows.h>

// The install worker's thread routine; its argument is the download page.
// Checks the newest version, downloads the package, waits for the user's
// go-ahead and installs. Returns 0 on every path.
DWORD WINAPI InstallWorker(LPVOID downloadPage);

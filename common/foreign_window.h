#pragma once

#include <windows.h>

#include "common/str.h"

// Path of the main executable of the process that owns the window, or empty
// when the process cannot be opened or read.
WStr ProcessPathOfWindow(HWND window);

// Sends a message to a window of another program and waits at most 5 s for
// its answer: false when it did not answer in time or is hung. A window that
// never answers must not hold up the sender for ever.
bool SendWithinLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer);

#pragma once

#include <windows.h>

#include "common/str.h"

// Lower-cases A to Z only; every other character keeps its case.
void LowerAsciiInPlace(wchar_t* text);

// MD5 of the UTF-8 form of the text as 32 lower-case hex digits; the name of
// the instance event. Empty for an empty text.
WStr MakeInstanceKey(const WStr& text);

// EnumWindows callback of a second start: sends the activation request to
// the windows of the process that runs the same setup file. context points to
// the lower-cased path of the setup executable. Always continues.
BOOL CALLBACK ActivateRunningSetup(HWND window, LPARAM context);

// Path of the main executable of the process that owns the window, or empty
// when the process cannot be opened or read.
WStr ProcessPathOfWindow(HWND window);

// Sends a message to a window of another program and waits at most 5 s for
// its answer: false when it did not answer in time or is hung. A window that
// never answers must not hold up the sender for ever.
bool SendWithinLimit(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* answer);

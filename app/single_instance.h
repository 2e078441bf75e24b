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

#pragma once

#include <windows.h>

#include "common/str.h"

// The system's text for the calling thread's last error, followed by the code
// as "(0x%X)". Call it right after the failing call.
WStr LastErrorText();
// The same for an error code read earlier.
WStr ErrorText(DWORD code);

// Length of the text without its final line end ("\n" or "\r\n"), which
// only a text longer than one character loses.
size_t TrimFinalLineEnd(const wchar_t* text, size_t length);

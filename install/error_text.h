#pragma once

#include "common/str.h"

// The system's text for the calling thread's last error, followed by the code
// as "(0x%X)". Call it right after the failing call.
WStr LastErrorText();

// Length of the text without its final line end ("\n" or "\r\n"), which
// only a text longer than one character loses.
size_t TrimFinalLineEnd(const wchar_t* text, size_t length);

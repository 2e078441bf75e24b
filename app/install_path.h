#pragma once

#include "common/str.h"

// The folder box's current text, a backslash when it lacks one, then the
// relative path. Read from any thread (a window message to the folder box).
// Empty when the whole does not fit in 511 characters.
WStr InstallPath(const wchar_t* relativePath);

#pragma once

#include "common/str.h"

// Full path of the setup's own executable (at most 259 characters).
WStr GetModulePath();

// The setup's folder with its trailing backslash, followed by name. Empty
// when the whole does not fit in 259 characters.
WStr GetModuleDirPath(const wchar_t* name);

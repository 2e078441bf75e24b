#pragma once

#include "common/str.h"

// The name of a program that holds the file open, as the Restart Manager
// knows it; empty when the system cannot tell (Windows before Vista, Wine).
WStr ProgramHoldingFile(const wchar_t* path);

#pragma once

#include <stdint.h>

// The size of a file; known says false when there is no file at path.
uint64_t FileSizeOf(const wchar_t* path, bool* known);

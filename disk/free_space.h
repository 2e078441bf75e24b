#pragma once

#include <stdint.h>

// The bytes free to the caller on the drive where path lies, asked of the
// nearest of its folders that exists (a file's folders may not be made
// yet). False when the system cannot tell.
bool FreeSpaceAt(const wchar_t* path, uint64_t* bytes);

#pragma once

// Whether two paths name the same file as Windows compares file names:
// ordinal, ignoring case with the system's own case table.
bool SamePath(const wchar_t* a, const wchar_t* b);

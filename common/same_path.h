#pragma once

#include <wchar.h>

// Whether two paths name the same file as Windows compares file names:
// code unit by code unit, case folded with the system's own table (so "Ä"
// matches "ä", while "ß" is no "ss" and the Turkish i's stay apart).
bool SamePath(const wchar_t* a, const wchar_t* b);

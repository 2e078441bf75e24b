#include "common/same_path.h"

#include <windows.h>

bool SamePath(const wchar_t* a, const wchar_t* b) {
  return CompareStringOrdinal(a, -1, b, -1, TRUE) == CSTR_EQUAL;
}

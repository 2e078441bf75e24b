#include "common/file_size.h"

#include <windows.h>

uint64_t FileSizeOf(const wchar_t* path, bool* known) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  *known = GetFileAttributesExW(path, GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

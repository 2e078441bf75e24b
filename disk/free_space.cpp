#include "disk/free_space.h"

#include <windows.h>

#include "common/str.h"

bool FreeSpaceAt(const wchar_t* path, uint64_t* bytes) {
  WStr folder(path);
  for (;;) {
    ULARGE_INTEGER available = {};
    if (GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
      *bytes = available.QuadPart;
      return true;
    }
    size_t slash = folder.size();
    while (slash > 0 && folder[slash - 1] != L'\\') --slash;
    // Down to the root ("C:\" keeps its backslash) and no further.
    size_t keep = slash >= 2 && folder[slash - 2] == L':' ? slash : slash - 1;
    if (slash == 0 || keep >= folder.size()) return false;
    folder.Resize(keep);
  }
}

// Extracts every item of an archive into a folder the way the install worker
// does, for comparing the result with Info-ZIP unzip. Prints one line per item
// that failed; exits with 1 when the archive does not open.
#include <stdio.h>
#include <wchar.h>

#include "zip/unzipper.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  ZipHandle* archive = OpenArchiveFile(argv[1]);
  if (!archive) return 1;
  ZipItem item;
  GetArchiveItem(archive, -1, &item);
  int count = item.index;
  for (int i = 0; i < count; ++i) {
    ZipResult r = GetArchiveItem(archive, i, &item);
    wchar_t target[kZipPathChars];
    if (r == ZipResult::Ok &&
        _snwprintf(target, kZipPathChars, L"%s\\%s", argv[2], item.name) < 0) {
      r = ZipResult::CannotOpen;
    }
    target[kZipPathChars - 1] = 0;
    if (r == ZipResult::Ok) r = ExtractArchiveItem(archive, i, target);
    if (r != ZipResult::Ok) wprintf(L"item %d failed: 0x%X\n", i, static_cast<unsigned>(r));
  }
  CloseArchive(archive);
  return 0;
}

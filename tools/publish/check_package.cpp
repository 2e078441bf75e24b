// Reads a package the way the setup will, through the setup's own zip layer
// under code page 936: the whole check of the download, then every item
// extracted into a scratch folder. Writes one line per item, in the
// package's order, into the listing file (UTF-8): "F<TAB>size<TAB>name" for
// a file, "D<TAB>0<TAB>name" for a folder, the name as the setup sees it.
//
//   check_package PACKAGE SCRATCH_FOLDER LISTING
//
// Exit code 0 when every item would install, 1 when the setup would refuse
// the package, 2 for a wrong call or a system that is not on code page 936.
#include <windows.h>
#include <stdio.h>

#include "common/scoped.h"
#include "common/str.h"
#include "common/text_convert.h"
#include "zip/unzipper.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) {
    fwprintf(stderr, L"usage: check_package PACKAGE SCRATCH_FOLDER LISTING\n");
    return 2;
  }
  // The setup converts item names with the ANSI code page, which is 936 on
  // the users' Chinese Windows.
  if (GetACP() != 936) {
    fwprintf(stderr,
             L"check_package: the ANSI code page is %u, not 936 (Wine needs "
             L"LC_ALL=zh_CN.UTF-8, a locale that scripts/setup makes)\n",
             GetACP());
    return 2;
  }
  ScopedArchive archive(OpenArchiveFile(argv[1]));
  ZipItem summary;
  if (!archive || GetArchiveItem(archive.get(), -1, &summary) != ZipResult::Ok) {
    fwprintf(stderr, L"check_package: not a zip archive the setup opens\n");
    return 1;
  }
  ZipResult verified = VerifyArchive(archive.get());
  if (verified != ZipResult::Ok) {
    fwprintf(stderr, L"check_package: the setup's check refuses the package (0x%X)\n",
             static_cast<unsigned>(verified));
    return 1;
  }
  ScopedFile listing(_wfopen(argv[3], L"wb"));
  if (!listing) {
    fwprintf(stderr, L"check_package: cannot write the listing\n");
    return 2;
  }
  for (int32_t index = 0; index < summary.index; ++index) {
    ZipItem item;
    ZipResult result = GetArchiveItem(archive.get(), index, &item);
    WStr target(argv[2]);
    target.Append(L"\\");
    target.Append(item.name);
    if (result == ZipResult::Ok) result = ExtractArchiveItem(archive.get(), index, target.c_str());
    if (result != ZipResult::Ok) {
      fwprintf(stderr, L"check_package: item %d does not extract (0x%X)\n", index,
               static_cast<unsigned>(result));
      return 1;
    }
    bool folder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    ByteStr name = WideToMultiByte(WStr(item.name), CP_UTF8);
    fprintf(listing.get(), "%c\t%ld\t%s\n", folder ? 'D' : 'F',
            static_cast<long>(folder ? 0 : item.uncompressedSize), name.c_str());
  }
  if (fflush(listing.get()) != 0) {
    fwprintf(stderr, L"check_package: cannot write the listing\n");
    return 2;
  }
  return 0;
}

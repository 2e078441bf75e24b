#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/ensure_folder.h"
#include "support/test_paths.h"
#include "zip_test_util.h"

namespace {

constexpr int64_t kMTime = 1600000000;
constexpr int64_t kATime = 1500000000;
constexpr DWORD kArchive = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kReadOnly = FILE_ATTRIBUTE_READONLY;
constexpr DWORD kDirectory = FILE_ATTRIBUTE_DIRECTORY;

struct Archive {
  explicit Archive(const wchar_t* name) : handle(OpenArchiveFile(FixturePath(name).c_str())) {}
  ~Archive() {
    if (handle) CloseArchive(handle);
  }
  ZipHandle* handle;
};

// Index of the item whose stored name is name, or -1.
int IndexOf(ZipHandle* handle, const std::wstring& name) {
  auto items = DescribeAll(handle);
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].result == ZipResult::Ok && items[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

// What the install worker does: the target folder joined with the item name.
ZipResult Extract(ZipHandle* handle, int index, const std::wstring& folder) {
  ZipItem item{};
  ZipResult r = GetArchiveItem(handle, index, &item);
  if (r != ZipResult::Ok) return r;
  return ExtractArchiveItem(handle, index, (folder + L"\\" + item.name).c_str());
}

uint64_t DosLocalTime(WORD y, WORD mo, WORD d, WORD h, WORD mi, WORD s) {
  SYSTEMTIME st = {y, mo, 0, d, h, mi, s, 0};
  FILETIME local, utc;
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &utc);
  return FileTimeValue(utc);
}
const uint64_t kFixtureDosTime = DosLocalTime(2021, 6, 15, 13, 45, 32);

int CountFiles(const std::wstring& folder) {
  return static_cast<int>(ListTree(folder, /*deep=*/false).size());
}

TEST(ZipArchiveHandle, CountsItemsRightAfterOpeningAndChecksHandles) {
  Archive basic(L"py_basic.zip");
  ASSERT_NE(basic.handle, nullptr);
  ZipItem item;
  memset(&item, 0x55, sizeof(item));
  ASSERT_EQ(GetArchiveItem(basic.handle, -1, &item), ZipResult::Ok);
  EXPECT_EQ(item.index, 11);
  EXPECT_EQ(item.name[0], 0);
  EXPECT_EQ(item.attributes, 0u);
  EXPECT_EQ(FileTimeValue(item.writeTime) | FileTimeValue(item.accessTime) |
                FileTimeValue(item.creationTime),
            0u);
  EXPECT_EQ(item.compressedSize | item.uncompressedSize, 0);
  // The count does not disturb the described item, and vice versa.
  ASSERT_EQ(GetArchiveItem(basic.handle, 7, &item), ZipResult::Ok);
  EXPECT_STREQ(item.name, L"folder/sub/deep.txt");
  EXPECT_EQ(item.uncompressedSize, 5000);
  ASSERT_EQ(GetArchiveItem(basic.handle, -1, &item), ZipResult::Ok);
  EXPECT_EQ(item.index, 11);
  ASSERT_EQ(GetArchiveItem(basic.handle, 7, &item), ZipResult::Ok);
  EXPECT_EQ(item.index, 7);

  EXPECT_EQ(GetArchiveItem(basic.handle, 11, &item), ZipResult::BadArgument);
  EXPECT_EQ(item.index, 0);
  EXPECT_EQ(GetArchiveItem(basic.handle, -2, &item), ZipResult::BadArgument);
  EXPECT_EQ(ExtractArchiveItem(basic.handle, -1, L"x"), ZipResult::BadArgument);
  EXPECT_EQ(ExtractArchiveItem(basic.handle, 11, L"x"), ZipResult::BadArgument);
  EXPECT_EQ(GetArchiveItem(nullptr, 0, &item), ZipResult::BadArgument);
  EXPECT_EQ(ExtractArchiveItem(nullptr, 0, L"x"), ZipResult::BadArgument);
  EXPECT_EQ(CloseArchive(nullptr), ZipResult::BadArgument);
  basic.handle->kind = 2;
  EXPECT_EQ(GetArchiveItem(basic.handle, 0, &item), ZipResult::WrongHandleKind);
  EXPECT_EQ(ExtractArchiveItem(basic.handle, 0, L"x"), ZipResult::WrongHandleKind);
  EXPECT_EQ(CloseArchive(basic.handle), ZipResult::WrongHandleKind);
  basic.handle->kind = kZipReadingHandle;

  Archive empty(L"py_empty.zip");
  ASSERT_NE(empty.handle, nullptr);
  ASSERT_EQ(GetArchiveItem(empty.handle, -1, &item), ZipResult::Ok);
  EXPECT_EQ(item.index, 0);
  EXPECT_EQ(GetArchiveItem(empty.handle, 0, &item), ZipResult::BadArgument);

  EXPECT_EQ(OpenArchiveFile(FixturePath(L"missing.zip").c_str()), nullptr);
  EXPECT_EQ(OpenArchiveFile(FixturePath(L"stream_input.bin").c_str()), nullptr);
  EXPECT_EQ(OpenArchiveFile(FixturePath(L"two_disks.zip").c_str()), nullptr);
  EXPECT_EQ(OpenArchiveFile(nullptr), nullptr);
}

TEST(ZipItemName, DropsDrivesLeadingSeparatorsAndParentSegments) {
  const std::map<std::wstring, std::wstring> safe = {
      {L"C:\\x.txt", L"x.txt"},
      {L"/abs.txt", L"abs.txt"},
      {L"\\\\server\\share\\unc.txt", L"server\\share\\unc.txt"},
      {L"x/../y/../z.txt", L"z.txt"},
      {L"..\\..\\win.txt", L"win.txt"},
      {L"ok/dot.txt", L"ok/dot.txt"},
      {L"data/", L"data/"},
      {L"a.b/c d.txt", L"a.b/c d.txt"},
      {L"x:y.txt", L"y.txt"},
      {L"C:/C:/dd.txt", L"dd.txt"},
      {L"a/..\\..\\e.txt", L"e.txt"},
      {L"/\\/h.txt", L"h.txt"},
      {L"console.txt", L"console.txt"},
      // A "." component is the folder it stands in.
      {L"./a/./b.txt", L"a/b.txt"},
      {L"ok/./dot.txt", L"ok/dot.txt"},
      {L"./bin/", L"bin/"},
      {L"./", L""},
      {L".", L""},
      {L"./a/../b", L"b"},
  };
  // What still climbs out of the target, or names a device, is refused.
  const wchar_t* refused[] = {L"../b.txt",
                              L"a/../../b.txt",
                              L"a\\..\\b\\..\\..\\c.txt",
                              L".../x.txt",
                              L"CON",
                              L"sub/aux.txt",
                              L"..",
                              L"a/..",
                              L"..\\",
                              L".. /f.txt",
                              L"D:..\\g.txt",
                              L"lpt1",
                              L"com9.log",
                              L"a//b.txt",
                              L"   ",
                              L". ",
                              L"sub/..",
                              L"dir./x.txt",
                              L"x.txt ",
                              L"COM\u00B9",
                              L"lpt\u00B2.txt",
                              L"COM0",
                              L"lpt0.a.b",
                              L"CONIN$",
                              L"conout$.log",
                              L"AUX.txt.",
                              L"nul .txt",
                              L"what?.txt",
                              L"a*b",
                              L"sub/<x>.txt",
                              L"pipe|d",
                              L"quote\".txt",
                              L"tab\tname",
                              L"bell\x07/file",
                              L"./..",
                              L".//x.txt"};
  for (auto& [stored, expected] : safe) {
    wchar_t out[260];
    ASSERT_TRUE(MakeSafeName(stored.c_str(), out, 260)) << stored;
    EXPECT_EQ(std::wstring(out), expected) << stored;
  }
  for (const wchar_t* stored : refused) {
    wchar_t out[260];
    EXPECT_FALSE(MakeSafeName(stored, out, 260)) << stored;
  }

  // The same through a real archive: extracting every item puts nothing
  // outside the target, and refused items create nothing.
  std::wstring root = MakeScratchDir(L"names");
  std::wstring target = root + L"\\a\\b\\target";
  ASSERT_TRUE(MakeFolders(target.c_str()));
  Archive names(L"names.zip");
  ASSERT_NE(names.handle, nullptr);
  auto items = DescribeAll(names.handle);
  ASSERT_EQ(items.size(), 24u);
  int ok = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    ZipResult r = Extract(names.handle, static_cast<int>(i), target);
    if (items[i].result == ZipResult::Ok) {
      EXPECT_EQ(r, ZipResult::Ok) << items[i].name;
      ++ok;
    } else {
      EXPECT_EQ(items[i].result, ZipResult::Corrupt);
      EXPECT_EQ(ExtractArchiveItem(names.handle, static_cast<int>(i), (target + L"\\r").c_str()),
                ZipResult::Corrupt);
    }
  }
  EXPECT_EQ(ok, 11);
  EXPECT_EQ(CountFiles(root), 1);
  EXPECT_EQ(CountFiles(root + L"\\a"), 1);
  EXPECT_EQ(CountFiles(root + L"\\a\\b"), 1);
  EXPECT_EQ(ReadFileBytes(target + L"\\z.txt"), "name 3\n");
  EXPECT_EQ(ReadFileBytes(target + L"\\server\\share\\unc.txt"), "name 2\n");
  EXPECT_EQ(ReadFileBytes(target + L"\\ok\\dot.txt"), "name 8\n");
  EXPECT_FALSE(FileExists(target + L"\\r"));
}

TEST(ZipItemName, NamesThatDoNotFitArePathsThatFail) {
  Archive archive(L"long_name.zip");
  ASSERT_NE(archive.handle, nullptr);
  ZipItem item;
  ASSERT_EQ(GetArchiveItem(archive.handle, 0, &item), ZipResult::Ok);
  EXPECT_EQ(std::wstring(item.name), std::wstring(259, L'n'));
  EXPECT_EQ(GetArchiveItem(archive.handle, 1, &item), ZipResult::Corrupt);
  std::wstring dir = MakeScratchDir(L"long_name");
  EXPECT_EQ(Extract(archive.handle, 0, dir), ZipResult::CannotOpen);
  EXPECT_EQ(ExtractArchiveItem(archive.handle, 0, std::wstring(400, L'x').c_str()),
            ZipResult::CannotOpen);
  std::wstring deep = dir;
  while (deep.size() < 300) deep += L"\\sub";
  EXPECT_EQ(ExtractArchiveItem(archive.handle, 0, (deep + L"\\f.txt").c_str()),
            ZipResult::CannotOpen);
  EXPECT_FALSE(MakeFolders((dir + L"\\" + std::wstring(300, L'd')).c_str()));
  EXPECT_EQ(CountFiles(dir), 0);
}

TEST(ZipExtract, WritesFilesAndFoldersWithMissingParents) {
  std::wstring dir = MakeScratchDir(L"basic");
  Archive archive(L"py_basic.zip");
  ASSERT_NE(archive.handle, nullptr);
  ZipItem count;
  GetArchiveItem(archive.handle, -1, &count);
  for (int i = 0; i < count.index; ++i) {
    EXPECT_EQ(Extract(archive.handle, i, dir), ZipResult::Ok) << i;
  }
  EXPECT_EQ(GetFileAttributesW((dir + L"\\folder\\sub").c_str()) & kDirectory, kDirectory);
  EXPECT_EQ(ReadFileBytes(dir + L"\\missing\\parents\\file.txt").size(), 100u);
  EXPECT_EQ(ReadFileBytes(dir + L"\\deflated.txt").size(), 200000u);
  EXPECT_EQ(ReadFileBytes(dir + L"\\random.bin").size(), 50000u);
  EXPECT_EQ(ReadFileBytes(dir + L"\\folder\\sub\\deep.txt").size(), 5000u);
  EXPECT_TRUE(FileExists(dir + L"\\empty.txt"));
  EXPECT_EQ(ReadFileBytes(dir + L"\\empty_stored.txt"), "");
  // Again: folders are there already, writable files are replaced.
  int folder = IndexOf(archive.handle, L"folder/sub/");
  ASSERT_GE(folder, 0);
  EXPECT_EQ(Extract(archive.handle, folder, dir), ZipResult::Ok);
  ASSERT_TRUE(WriteFileBytes(dir + L"\\deflated.txt", "older and shorter"));
  EXPECT_EQ(Extract(archive.handle, IndexOf(archive.handle, L"deflated.txt"), dir), ZipResult::Ok);
  EXPECT_EQ(ReadFileBytes(dir + L"\\deflated.txt").size(), 200000u);
  // An existing read-only file stays as it is, where the system refuses to
  // replace one (Wine run by root does not).
  ASSERT_EQ(GetFileAttributesW((dir + L"\\readonly.txt").c_str()) & kReadOnly, kReadOnly);
  HANDLE probe = CreateFileW((dir + L"\\groupwrite.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  bool refusesReadOnly = probe == INVALID_HANDLE_VALUE;
  if (!refusesReadOnly) CloseHandle(probe);
  if (refusesReadOnly) {
    EXPECT_EQ(Extract(archive.handle, IndexOf(archive.handle, L"readonly.txt"), dir),
              ZipResult::CannotOpen);
    EXPECT_EQ(ReadFileBytes(dir + L"\\readonly.txt"), "no owner write\n");
  }

  // Relative targets count from the current folder at open time.
  std::wstring relative = MakeScratchDir(L"relative");
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(relative.c_str());
  ZipHandle* handle = OpenArchiveFile(FixturePath(L"py_basic.zip").c_str());
  SetCurrentDirectoryW(before);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(ExtractArchiveItem(handle, 7, L"in\\deep.txt"), ZipResult::Ok);
  EXPECT_EQ(ExtractArchiveItem(handle, 5, L"made\\here"), ZipResult::Ok);
  CloseArchive(handle);
  EXPECT_EQ(ReadFileBytes(relative + L"\\in\\deep.txt").size(), 5000u);
  EXPECT_TRUE(FileExists(relative + L"\\made\\here"));
}

TEST(ZipExtract, AttributesFollowTheHostSystem) {
  std::wstring dir = MakeScratchDir(L"attributes");
  struct Case {
    const wchar_t* archive;
    const wchar_t* name;
    DWORD attributes;
  } cases[] = {
      {L"py_basic.zip", L"deflated.txt", kArchive},
      {L"py_basic.zip", L"readonly.txt", kReadOnly | kArchive},
      {L"py_basic.zip", L"groupwrite.txt", kReadOnly | kArchive},
      {L"py_basic.zip", L"folder/", kDirectory | kArchive},
      {L"py_dos.zip", L"normal.txt", kArchive},
      {L"py_dos.zip", L"readonly.txt", kReadOnly | kArchive},
      {L"py_dos.zip", L"hidden.txt", FILE_ATTRIBUTE_HIDDEN | kArchive},
      {L"py_dos.zip", L"system.txt", FILE_ATTRIBUTE_SYSTEM | kArchive},
      {L"py_dos.zip", L"plain.txt", 0},
      {L"py_dos.zip", L"dosdir/", kDirectory},
      {L"py_dos.zip", L"vfat.txt", kReadOnly | kArchive},
      // Hosts other than the FAT family are read as Unix modes.
      {L"py_dos.zip", L"ntfs.txt", kReadOnly | kArchive},
      {L"infozip.zip", L"docs/locked.txt", kReadOnly | kArchive},
      {L"infozip.zip", L"readme.txt", kArchive},
      {L"infozip.zip", L"emptydir/", kDirectory | kArchive},
  };
  for (const Case& c : cases) {
    Archive archive(c.archive);
    ASSERT_NE(archive.handle, nullptr);
    int index = IndexOf(archive.handle, c.name);
    ASSERT_GE(index, 0) << c.name;
    ZipItem item;
    ASSERT_EQ(GetArchiveItem(archive.handle, index, &item), ZipResult::Ok);
    EXPECT_EQ(item.attributes, c.attributes) << c.archive << " " << c.name;
    std::wstring target = dir + L"\\" + std::to_wstring(&c - cases) + L"\\" + c.name;
    ASSERT_EQ(ExtractArchiveItem(archive.handle, index, target.c_str()), ZipResult::Ok);
    DWORD onDisk = GetFileAttributesW(target.c_str());
    ASSERT_NE(onDisk, INVALID_FILE_ATTRIBUTES) << c.name;
    EXPECT_EQ(onDisk & (kReadOnly | kDirectory), c.attributes & (kReadOnly | kDirectory)) << c.name;
    if (c.attributes & FILE_ATTRIBUTE_HIDDEN) {
      EXPECT_TRUE(onDisk & FILE_ATTRIBUTE_HIDDEN) << c.name;
    }
  }
}

TEST(ZipExtract, TimesComeFromTheExtendedTimestampOrTheLocalDosTime) {
  std::wstring dir = MakeScratchDir(L"times");
  Archive archive(L"times.zip");
  ASSERT_NE(archive.handle, nullptr);
  struct Case {
    const wchar_t* name;
    uint64_t write, access, creation;
  } cases[] = {
      {L"dos_only.txt", kFixtureDosTime, kFixtureDosTime, kFixtureDosTime},
      {L"ut_all.txt", UnixToFileTime(kMTime), UnixToFileTime(kATime),
       UnixToFileTime(kMTime - 86400)},
      {L"ut_after_other.txt", UnixToFileTime(kMTime), kFixtureDosTime, kFixtureDosTime},
      {L"ut_short_block.txt", UnixToFileTime(kMTime), kFixtureDosTime, kFixtureDosTime},
      {L"ut_negative.txt", UnixToFileTime(-86400), kFixtureDosTime, kFixtureDosTime},
      // No such date: zero, which leaves the file's own time.
      {L"bad_dos_date.txt", 0, 0, 0},
      {L"empty_with_time.txt", UnixToFileTime(kMTime), kFixtureDosTime, kFixtureDosTime},
  };
  for (const Case& c : cases) {
    int index = IndexOf(archive.handle, c.name);
    ASSERT_GE(index, 0) << c.name;
    ZipItem item;
    ASSERT_EQ(GetArchiveItem(archive.handle, index, &item), ZipResult::Ok);
    EXPECT_EQ(FileTimeValue(item.writeTime), c.write) << c.name;
    EXPECT_EQ(FileTimeValue(item.accessTime), c.access) << c.name;
    EXPECT_EQ(FileTimeValue(item.creationTime), c.creation) << c.name;
    ASSERT_EQ(Extract(archive.handle, index, dir), ZipResult::Ok) << c.name;
    uint64_t creation, access, write;
    ASSERT_TRUE(GetTimes(dir + L"\\" + c.name, &creation, &access, &write));
    if (c.write) {
      EXPECT_EQ(write, c.write) << c.name;
      EXPECT_EQ(access, c.access) << c.name;
    } else {
      EXPECT_GT(write, UnixToFileTime(kMTime)) << c.name;
    }
  }
  EXPECT_EQ(ReadFileBytes(dir + L"\\empty_with_time.txt"), "");

  // Info-ZIP's local block holds modification and access time.
  Archive infozip(L"infozip.zip");
  ASSERT_NE(infozip.handle, nullptr);
  ZipItem item;
  ASSERT_EQ(GetArchiveItem(infozip.handle, IndexOf(infozip.handle, L"bin/app.dll"), &item),
            ZipResult::Ok);
  EXPECT_EQ(FileTimeValue(item.writeTime), UnixToFileTime(kMTime));
  EXPECT_EQ(FileTimeValue(item.accessTime), UnixToFileTime(kATime));
  EXPECT_EQ(FileTimeValue(item.creationTime), DosLocalTime(2020, 9, 13, 12, 26, 40));
}

TEST(ZipExtract, DamagedItemsFailAndKeepNoTimes) {
  std::wstring dir = MakeScratchDir(L"damaged");
  struct Case {
    const wchar_t* archive;
    const wchar_t* name;
    ZipResult result;
  } cases[] = {
      {L"bad_crc.zip", L"bad_crc.txt", ZipResult::DecompressFailed},
      {L"bad_crc.zip", L"bad_crc_stored.txt", ZipResult::DecompressFailed},
      {L"bad_crc.zip", L"fine.txt", ZipResult::Ok},
      {L"corrupt_deflate.zip", L"corrupt.txt", ZipResult::DecompressFailed},
      {L"truncated.zip", L"short_stored.txt", ZipResult::DecompressFailed},
      {L"truncated.zip", L"short_deflate.txt", ZipResult::DecompressFailed},
      {L"truncated.zip", L"long_declared.txt", ZipResult::DecompressFailed},
      {L"infozip_encrypted.zip", L"readme.txt", ZipResult::BadPassword},
      {L"infozip_stream_encrypted.zip", L"-", ZipResult::BadPassword},
  };
  for (const Case& c : cases) {
    Archive archive(c.archive);
    ASSERT_NE(archive.handle, nullptr);
    int index = IndexOf(archive.handle, c.name);
    ASSERT_GE(index, 0) << c.name;
    std::wstring target = dir + L"\\" + std::to_wstring(&c - cases) + L".out";
    ZipResult result = ExtractArchiveItem(archive.handle, index, target.c_str());
    // Zip fills the encryption header at random: without a password (the
    // empty one) its check byte passes one time in 256, and the data fails.
    if (c.result == ZipResult::BadPassword && result == ZipResult::DecompressFailed) {
      result = ZipResult::BadPassword;
    }
    EXPECT_EQ(result, c.result) << c.name;
    // The file stays, but not with the item's time.
    uint64_t creation, access, write;
    ASSERT_TRUE(GetTimes(target, &creation, &access, &write)) << c.name;
    if (c.result == ZipResult::Ok) {
      EXPECT_EQ(write, kFixtureDosTime) << c.name;
    } else {
      EXPECT_NE(write, kFixtureDosTime) << c.name;
    }
  }
}

TEST(ZipExtract, NoFileFromAnItemThatCannotBeDescribed) {
  std::wstring dir = MakeScratchDir(L"undescribed");
  Archive mismatch(L"local_mismatch.zip");
  ASSERT_NE(mismatch.handle, nullptr);
  auto items = DescribeAll(mismatch.handle);
  ASSERT_EQ(items.size(), 6u);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(items[i].result, ZipResult::Corrupt) << i;
    EXPECT_EQ(ExtractArchiveItem(mismatch.handle, i, (dir + L"\\m" + std::to_wstring(i)).c_str()),
              ZipResult::Corrupt);
  }
  EXPECT_EQ(items[4].result, ZipResult::Ok);
  // A failed description between the two calls does not let the extraction
  // of the item described before read another item's data.
  ZipItem item;
  ASSERT_EQ(GetArchiveItem(mismatch.handle, 5, &item), ZipResult::Ok);
  EXPECT_EQ(GetArchiveItem(mismatch.handle, 3, &item), ZipResult::Corrupt);
  EXPECT_EQ(ExtractArchiveItem(mismatch.handle, 5, (dir + L"\\fine.txt").c_str()), ZipResult::Ok);
  EXPECT_EQ(ReadFileBytes(dir + L"\\fine.txt").size(), 30000u);

  Archive method12(L"method12.zip");
  ASSERT_NE(method12.handle, nullptr);
  EXPECT_EQ(ExtractArchiveItem(method12.handle, 0, (dir + L"\\m12").c_str()), ZipResult::Corrupt);

  // A central header the walk cannot pass, and a count beyond the directory.
  Archive stuck(L"walk_stuck.zip");
  ASSERT_NE(stuck.handle, nullptr);
  EXPECT_EQ(GetArchiveItem(stuck.handle, 2, &item), ZipResult::Corrupt);
  EXPECT_EQ(GetArchiveItem(stuck.handle, 1, &item), ZipResult::Corrupt);
  EXPECT_EQ(ExtractArchiveItem(stuck.handle, 2, (dir + L"\\s2").c_str()), ZipResult::Corrupt);
  EXPECT_EQ(GetArchiveItem(stuck.handle, 0, &item), ZipResult::Ok);
  EXPECT_STREQ(item.name, L"a.txt");
  Archive high(L"count_too_high.zip");
  ASSERT_NE(high.handle, nullptr);
  auto listed = DescribeAll(high.handle);
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_EQ(listed[1].result, ZipResult::Ok);
  for (int i = 2; i < 5; ++i) {
    EXPECT_EQ(listed[i].result, ZipResult::Corrupt) << i;
    EXPECT_EQ(ExtractArchiveItem(high.handle, i, (dir + L"\\h").c_str()), ZipResult::Corrupt);
  }
  EXPECT_EQ(CountFiles(dir), 1);
}

TEST(ZipVerify, PassesSoundArchivesAndFailsOnAnyDamagedItem) {
  for (const wchar_t* sound : {L"infozip.zip", L"infozip_stream.zip", L"stub_front.zip",
                               L"py_empty.zip", L"folder_twice.zip", L"bsdtar_dot.zip"}) {
    Archive archive(sound);
    ASSERT_NE(archive.handle, nullptr) << sound;
    EXPECT_EQ(VerifyArchive(archive.handle), ZipResult::Ok) << sound;
    // The walk goes on from wherever the check left it.
    if (DescribeAll(archive.handle).empty()) continue;
    std::wstring dir = MakeScratchDir(L"verified");
    EXPECT_EQ(Extract(archive.handle, 0, dir), ZipResult::Ok) << sound;
  }
  for (const wchar_t* damaged :
       {L"bad_crc.zip", L"corrupt_deflate.zip", L"truncated.zip", L"infozip_encrypted.zip",
        L"local_mismatch.zip", L"method12.zip", L"walk_stuck.zip", L"count_too_high.zip",
        L"names.zip", L"overlap_shared.zip", L"overlap_inside.zip", L"size_lies.zip",
        L"same_name.zip", L"file_as_folder.zip", L"dot_clash.zip", L"dot_file.zip"}) {
    Archive archive(damaged);
    ASSERT_NE(archive.handle, nullptr) << damaged;
    EXPECT_NE(VerifyArchive(archive.handle), ZipResult::Ok) << damaged;
  }
  EXPECT_EQ(VerifyArchive(nullptr), ZipResult::BadArgument);
  // The structure alone passes damaged data, which its extraction refuses,
  // and refuses the bombs before any data is read.
  for (const wchar_t* dataOnly : {L"bad_crc.zip", L"corrupt_deflate.zip"}) {
    Archive archive(dataOnly);
    ArchiveFacts facts;
    EXPECT_EQ(VerifyArchiveStructure(archive.handle, &facts), ZipResult::Ok) << dataOnly;
    std::wstring dir = MakeScratchDir(L"structure_only");
    bool refused = false;
    for (int i = 0; i < static_cast<int>(DescribeAll(archive.handle).size()); ++i) {
      refused = Extract(archive.handle, i, dir) != ZipResult::Ok || refused;
    }
    EXPECT_TRUE(refused) << dataOnly;
  }
  for (const wchar_t* bomb : {L"overlap_shared.zip", L"size_lies.zip"}) {
    Archive archive(bomb);
    ArchiveFacts facts;
    EXPECT_EQ(VerifyArchiveStructure(archive.handle, &facts), ZipResult::Corrupt) << bomb;
  }
  // A folder written without the folder attribute is a folder all the same.
  {
    Archive folders(L"folder_twice.zip");
    std::wstring dir = MakeScratchDir(L"folders");
    for (int i = 0; i < 6; ++i) EXPECT_EQ(Extract(folders.handle, i, dir), ZipResult::Ok) << i;
    EXPECT_NE(GetFileAttributesW((dir + L"\\lib").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(ReadFileBytes(dir + L"\\lib\\x.dll"), "x\n");
  }
  // Each item of the overlapping archives is whole by itself.
  for (const wchar_t* overlapping : {L"overlap_shared.zip", L"overlap_inside.zip"}) {
    Archive archive(overlapping);
    std::wstring dir = MakeScratchDir(L"overlapping");
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Extract(archive.handle, i, dir), ZipResult::Ok);
  }
  Archive sound(L"crafted_ok.zip");
  ArchiveFacts facts;
  EXPECT_EQ(VerifyArchive(sound.handle, &facts), ZipResult::Ok);
  EXPECT_EQ(facts.totalSize, 6u + 30000u);
  // "first.txt" and "good.txt": the longest name is the first's, and
  // neither lies in a folder.
  EXPECT_EQ(facts.name.length, 9u);
  EXPECT_EQ(facts.name.index, 0);
  EXPECT_EQ(facts.lastName.length, 9u);
  EXPECT_EQ(facts.folder.length, 0u);
}

// As bsdtar and Windows' tar.exe write a folder's contents: "./" for the
// folder itself, "./" in front of every other name.
TEST(ZipExtract, NamesFromTheCurrentFolderAsTarWritesThem) {
  Archive archive(L"bsdtar_dot.zip");
  ASSERT_NE(archive.handle, nullptr);
  auto items = DescribeAll(archive.handle);
  ASSERT_EQ(items.size(), 7u);
  ASSERT_EQ(items[0].result, ZipResult::Ok);
  EXPECT_EQ(items[0].name, L"");
  EXPECT_EQ(items[0].item.attributes & kDirectory, kDirectory);
  std::wstring dir = MakeScratchDir(L"bsdtar");
  // The target folder asks for nothing, not even to be made.
  EXPECT_EQ(ExtractArchiveItem(archive.handle, 0, (dir + L"\\absent\\").c_str()), ZipResult::Ok);
  EXPECT_FALSE(FileExists(dir + L"\\absent"));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Extract(archive.handle, i, dir), ZipResult::Ok) << i;
  for (const wchar_t* name : {L"readme.txt", L"bin\\tool.dll", L"a\\b\\c.txt"}) {
    std::string bytes = ReadFileBytes(dir + L"\\" + name);
    EXPECT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(bytes, FixtureBytes(std::wstring(L"dot_src\\") + name)) << name;
  }
  EXPECT_EQ(ListTree(dir, /*deep=*/true).size(), 6u);
  ArchiveFacts facts;
  ASSERT_EQ(VerifyArchive(archive.handle, &facts), ZipResult::Ok);
  EXPECT_EQ(facts.name.length, wcslen(L"bin/tool.dll"));
  // The folder itself is no name to measure.
  Archive empty(L"bsdtar_empty.zip");
  ASSERT_EQ(VerifyArchive(empty.handle, &facts), ZipResult::Ok);
  EXPECT_EQ(facts.name.index, -1);
  EXPECT_EQ(facts.folder.index, -1);
}

TEST(ZipExtract, ManyItemsInAnyOrder) {
  Archive archive(L"py_many.zip");
  ASSERT_NE(archive.handle, nullptr);
  ZipItem item;
  ASSERT_EQ(GetArchiveItem(archive.handle, -1, &item), ZipResult::Ok);
  ASSERT_EQ(item.index, 3000);
  auto name = [](int i) {
    wchar_t text[64];
    swprintf(text, 64, L"d%02d/e%02d/f%04d.txt", i % 7, i % 13, i);
    return std::wstring(text);
  };
  for (int i = 0; i < 3000; ++i) {
    ASSERT_EQ(GetArchiveItem(archive.handle, i, &item), ZipResult::Ok);
    ASSERT_EQ(item.name, name(i));
  }
  for (int i = 2999; i >= 0; i -= 211) {
    ASSERT_EQ(GetArchiveItem(archive.handle, i, &item), ZipResult::Ok);
    ASSERT_EQ(item.name, name(i));
  }
  std::wstring dir = MakeScratchDir(L"many");
  for (int i : {0, 1500, 2999, 17}) {
    ASSERT_EQ(Extract(archive.handle, i, dir), ZipResult::Ok);
    std::wstring path = dir + L"\\" + name(i);
    EXPECT_EQ(ReadFileBytes(path), "item " + std::to_string(i) + "\n");
  }
}

}  // namespace

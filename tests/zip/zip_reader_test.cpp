#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/test_paths.h"
#include "zip_test_util.h"

namespace {

constexpr int32_t kBadPassword = static_cast<int32_t>(ZipReadStatus::BadPassword);

struct ReaderCloser {
  ZipReader* reader;
  ~ReaderCloser() { CloseReader(reader); }
};

std::string EntryName(ZipReader* reader) {
  char name[260];
  if (ReadEntryInfo(reader, nullptr, nullptr, name, sizeof(name)) != ZipReadStatus::Ok) return "?";
  return name;
}

// Every entry of the archive by name: its bytes and CloseEntry's verdict.
struct EntryData {
  std::string bytes;
  int32_t status;
  bool atEnd;
  ZipReadStatus verdict;
};
std::map<std::string, EntryData> ReadAllEntries(ZipReader* reader, uint32_t blockSize,
                                                const char* password = nullptr) {
  std::map<std::string, EntryData> entries;
  if (GoToFirstEntry(reader) != ZipReadStatus::Ok) return entries;
  for (uint32_t i = 0; i < reader->entryCount; ++i) {
    EntryData data{};
    std::string name = EntryName(reader);
    if (OpenEntry(reader, password) == ZipReadStatus::Ok) {
      data.bytes = ReadCurrentEntry(reader, blockSize, &data.status, &data.atEnd);
      data.verdict = CloseEntry(reader);
    } else {
      data.status = static_cast<int32_t>(ZipReadStatus::BadArchive);
    }
    entries[name] = data;
    GoToNextEntry(reader);
  }
  return entries;
}

TEST(ZipReaderOpen, FindsTheEndRecordOnlyWithinTheLast65535Bytes) {
  ZipReader* nearEnd = OpenReaderFile(FixturePath(L"comment_near.zip"));
  ASSERT_NE(nearEnd, nullptr);
  ReaderCloser closeNear{nearEnd};
  EXPECT_EQ(nearEnd->entryCount, 1u);
  EXPECT_EQ(ReadAllEntries(nearEnd, 16384)["inside.txt"].bytes, "found the end record\n");
  EXPECT_EQ(OpenReaderFile(FixturePath(L"comment_beyond.zip")), nullptr);
}

TEST(ZipReaderOpen, AnArchiveOfOnlyAnEndRecordHasNoEntries) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"py_empty.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  EXPECT_EQ(reader->entryCount, 0u);
  EXPECT_EQ(reader->leadingBytes, 0u);
}

TEST(ZipReaderOpen, BytesInFrontShiftEveryOffset) {
  ZipReader* plain = OpenReaderFile(FixturePath(L"py_basic.zip"));
  ZipReader* stub = OpenReaderFile(FixturePath(L"stub_front.zip"));
  ZipReader* adjusted = OpenReaderFile(FixturePath(L"stub_adjusted.zip"));
  ASSERT_TRUE(plain && stub && adjusted);
  ReaderCloser c1{plain}, c2{stub}, c3{adjusted};
  EXPECT_EQ(stub->leadingBytes, 4096u);
  // zip -A rewrote the offsets to count from the start of the file.
  EXPECT_EQ(adjusted->leadingBytes, 0u);
  auto expected = ReadAllEntries(plain, 16384);
  auto shifted = ReadAllEntries(stub, 16384);
  ASSERT_EQ(expected.size(), 11u);
  ASSERT_EQ(shifted.size(), expected.size());
  for (auto& [name, data] : expected) {
    EXPECT_EQ(data.verdict, ZipReadStatus::Ok) << name;
    EXPECT_TRUE(data.atEnd) << name;
    EXPECT_EQ(shifted[name].bytes, data.bytes) << name;
    EXPECT_EQ(shifted[name].verdict, ZipReadStatus::Ok) << name;
  }
  auto infozip = ReadAllEntries(adjusted, 16384);
  EXPECT_EQ(infozip["bin/app.dll"].bytes, FixtureBytes(L"src\\bin\\app.dll"));
  EXPECT_EQ(infozip["bin/app.dll"].verdict, ZipReadStatus::Ok);
}

TEST(ZipReaderOpen, RefusesSeveralDisksDifferingCountsAndNonArchives) {
  for (const wchar_t* name : {L"two_disks.zip", L"dir_on_other_disk.zip", L"counts_differ.zip",
                              L"stream_input.bin", L"src\\empty.txt", L"missing.zip"}) {
    EXPECT_EQ(OpenReaderFile(FixturePath(name)), nullptr) << name;
  }
  // The control: the same entry in a one-disk archive opens.
  ZipReader* reader = OpenReaderFile(FixturePath(L"crafted_ok.zip"));
  EXPECT_NE(reader, nullptr);
  CloseReader(reader);
}

TEST(ZipReaderWalk, StopsAtTheLastEntryAndAtAnUnreadableHeader) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"walk_stuck.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  EXPECT_TRUE(reader->entryOk);
  EXPECT_EQ(GoToNextEntry(reader), ZipReadStatus::BadArchive);
  EXPECT_EQ(reader->entryIndex, 1u);
  EXPECT_FALSE(reader->entryOk);
  GoToNextEntry(reader);
  EXPECT_EQ(reader->entryIndex, 1u);
  EXPECT_EQ(OpenEntry(reader, nullptr), ZipReadStatus::BadArgument);

  ZipReader* two = OpenReaderFile(FixturePath(L"crafted_ok.zip"));
  ASSERT_NE(two, nullptr);
  ReaderCloser closeTwo{two};
  GoToNextEntry(two);
  EXPECT_EQ(two->entryIndex, 1u);
  GoToNextEntry(two);
  EXPECT_EQ(two->entryIndex, 1u);
  EXPECT_TRUE(two->entryOk);
  EXPECT_EQ(EntryName(two), "good.txt");
}

TEST(ZipReaderEntry, DeliversTheSameBytesWhateverTheBlockSize) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"infozip.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  std::map<std::string, EntryData> reference;
  for (uint32_t block : {16384u, 1u, 7u, 65536u, 300000u}) {
    auto entries = ReadAllEntries(reader, block);
    ASSERT_EQ(entries.size(), 9u);
    EXPECT_EQ(entries["readme.txt"].bytes, FixtureBytes(L"src\\readme.txt")) << block;
    EXPECT_EQ(entries["bin/app.dll"].bytes, FixtureBytes(L"src\\bin\\app.dll")) << block;
    EXPECT_EQ(entries["bin/data/table.dat"].bytes, FixtureBytes(L"src\\bin\\data\\table.dat"));
    for (auto& [name, data] : entries) {
      EXPECT_EQ(data.status, 0) << name << " " << block;
      EXPECT_TRUE(data.atEnd) << name << " " << block;
      EXPECT_EQ(data.verdict, ZipReadStatus::Ok) << name << " " << block;
    }
    EXPECT_EQ(entries["empty.txt"].bytes, "");
  }
}

TEST(ZipReaderEntry, AnEmptyEntryIsAtItsEndAtOnce) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"py_basic.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  while (EntryName(reader) != "empty.txt") GoToNextEntry(reader);
  ASSERT_EQ(OpenEntry(reader, nullptr), ZipReadStatus::Ok);
  char byte;
  bool atEnd = false;
  EXPECT_EQ(ReadEntry(reader, &byte, 1, &atEnd), 0);
  EXPECT_TRUE(atEnd);
  // A zero length asks for nothing and is not the end.
  EXPECT_EQ(ReadEntry(reader, &byte, 0, &atEnd), 0);
  EXPECT_FALSE(atEnd);
  EXPECT_EQ(CloseEntry(reader), ZipReadStatus::Ok);
  EXPECT_EQ(CloseEntry(reader), ZipReadStatus::BadArgument);
  EXPECT_EQ(ReadEntry(reader, &byte, 1, &atEnd), static_cast<int32_t>(ZipReadStatus::BadArgument));
  EXPECT_EQ(ReadEntry(nullptr, &byte, 1, nullptr),
            static_cast<int32_t>(ZipReadStatus::BadArgument));
}

TEST(ZipReaderEntry, RefusesOtherMethodsAndLocalHeadersThatDisagree) {
  ZipReader* m12 = OpenReaderFile(FixturePath(L"method12.zip"));
  ASSERT_NE(m12, nullptr);
  ReaderCloser c1{m12};
  auto methods = ReadAllEntries(m12, 16384);
  EXPECT_EQ(methods["bzip2.txt"].status, static_cast<int32_t>(ZipReadStatus::BadArchive));
  EXPECT_EQ(methods["m12.txt"].verdict, ZipReadStatus::Ok);

  ZipReader* reader = OpenReaderFile(FixturePath(L"local_mismatch.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser c2{reader};
  auto entries = ReadAllEntries(reader, 16384);
  for (const char* name : {"method.txt", "crc.txt", "namelen.txt", "signature.txt"}) {
    EXPECT_EQ(entries[name].status, static_cast<int32_t>(ZipReadStatus::BadArchive)) << name;
  }
  // Flag bit 3: the local header's zero CRC is not compared.
  EXPECT_EQ(entries["descriptor.txt"].verdict, ZipReadStatus::Ok);
  EXPECT_EQ(entries["descriptor.txt"].bytes, entries["fine.txt"].bytes);
  EXPECT_EQ(entries["fine.txt"].bytes.size(), 30000u);
}

TEST(ZipReaderEntry, ADataDescriptorEntryUsesTheCentralValues) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"infozip_stream.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  EXPECT_NE(reader->info.flags & 8, 0u);
  auto entries = ReadAllEntries(reader, 16384);
  EXPECT_EQ(entries["-"].bytes, FixtureBytes(L"stream_input.bin"));
  EXPECT_EQ(entries["-"].verdict, ZipReadStatus::Ok);
}

TEST(ZipReaderEntry, DecryptsTraditionalEncryptionAndChecksThePassword) {
  for (const wchar_t* archive : {L"infozip_encrypted.zip", L"infozip_stream_encrypted.zip"}) {
    ZipReader* reader = OpenReaderFile(FixturePath(archive));
    ASSERT_NE(reader, nullptr);
    ReaderCloser close{reader};
    EXPECT_NE(reader->info.flags & 1, 0u);
    auto withPassword = ReadAllEntries(reader, 5000, "secret");
    auto without = ReadAllEntries(reader, 5000);
    auto wrong = ReadAllEntries(reader, 5000, "Secret");
    ASSERT_FALSE(withPassword.empty());
    for (auto& [name, data] : withPassword) {
      EXPECT_EQ(data.verdict, ZipReadStatus::Ok) << name;
      EXPECT_TRUE(data.atEnd) << name;
      // The check is one byte of the encryption header, which zip fills at
      // random: one wrong password in 256 passes it, and then the data
      // fails instead. No password is tried as the empty one, the same.
      for (const EntryData* w : {&wrong[name], &without[name]}) {
        EXPECT_TRUE(w->status == kBadPassword || w->status < 0 ||
                    w->verdict == ZipReadStatus::CrcMismatch)
            << name << " " << w->status;
      }
    }
    if (withPassword.count("-")) {
      EXPECT_EQ(withPassword["-"].bytes, FixtureBytes(L"stream_input.bin"));
    } else {
      EXPECT_EQ(withPassword["readme.txt"].bytes, FixtureBytes(L"src\\readme.txt"));
      EXPECT_EQ(withPassword["bin/app.dll"].bytes, FixtureBytes(L"src\\bin\\app.dll"));
    }
  }
}

TEST(ZipReaderEntry, DataThatEndsEarlyOrIsCorruptStopsWithoutAnEnd) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"truncated.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  auto entries = ReadAllEntries(reader, 16384);
  // Stored: the 1000 bytes there are, then nothing more and no end.
  EXPECT_EQ(entries["short_stored.txt"].bytes.size(), 1000u);
  EXPECT_EQ(entries["short_stored.txt"].status, 0);
  EXPECT_FALSE(entries["short_stored.txt"].atEnd);
  EXPECT_EQ(entries["short_stored.txt"].verdict, ZipReadStatus::Ok);
  // Deflated: zlib's own negative code for the cut stream.
  EXPECT_LT(entries["short_deflate.txt"].status, 0);
  EXPECT_FALSE(entries["short_deflate.txt"].atEnd);
  // The stream ends before the declared size: the reader reports its end,
  // and the missing bytes are no CRC mismatch to it.
  EXPECT_TRUE(entries["long_declared.txt"].atEnd);
  EXPECT_EQ(entries["long_declared.txt"].bytes.size(), 30000u);

  ZipReader* corrupt = OpenReaderFile(FixturePath(L"corrupt_deflate.zip"));
  ASSERT_NE(corrupt, nullptr);
  ReaderCloser closeCorrupt{corrupt};
  auto bad = ReadAllEntries(corrupt, 16384);
  EXPECT_EQ(bad["corrupt.txt"].status, Z_DATA_ERROR);
}

TEST(ZipReaderEntry, ReportsACrcMismatchOnlyAfterTheWholeEntry) {
  ZipReader* reader = OpenReaderFile(FixturePath(L"bad_crc.zip"));
  ASSERT_NE(reader, nullptr);
  ReaderCloser close{reader};
  auto entries = ReadAllEntries(reader, 16384);
  EXPECT_EQ(entries["bad_crc.txt"].verdict, ZipReadStatus::CrcMismatch);
  EXPECT_EQ(entries["bad_crc_stored.txt"].verdict, ZipReadStatus::CrcMismatch);
  EXPECT_EQ(entries["fine.txt"].verdict, ZipReadStatus::Ok);

  GoToFirstEntry(reader);
  ASSERT_EQ(OpenEntry(reader, nullptr), ZipReadStatus::Ok);
  char part[100];
  bool atEnd;
  EXPECT_EQ(ReadEntry(reader, part, sizeof(part), &atEnd), 100);
  EXPECT_EQ(CloseEntry(reader), ZipReadStatus::Ok);
  // Opening again drops an open entry's verdict.
  ASSERT_EQ(OpenEntry(reader, nullptr), ZipReadStatus::Ok);
  int32_t status;
  ReadCurrentEntry(reader, 16384, &status, &atEnd);
  ASSERT_EQ(OpenEntry(reader, nullptr), ZipReadStatus::Ok);
  EXPECT_EQ(CloseEntry(reader), ZipReadStatus::Ok);
}

}  // namespace

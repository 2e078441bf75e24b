#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "common/ensure_folder.h"
#include "support/test_paths.h"
#include "zip_test_util.h"

namespace {

// The names directly in the folder.
std::set<std::wstring> Listing(const std::wstring& folder) {
  std::set<std::wstring> names;
  for (std::wstring path : ListTree(folder, /*deep=*/false)) {
    if (path.back() == L'\\') path.pop_back();
    names.insert(path.substr(1));
  }
  return names;
}

std::vector<size_t> HeaderPositions(const std::string& bytes) {
  std::vector<size_t> positions;
  for (size_t i = 0; i + 4 <= bytes.size(); ++i) {
    if (bytes[i] == 'P' && bytes[i + 1] == 'K' && bytes[i + 2] >= 1 && bytes[i + 2] <= 7) {
      positions.push_back(i);
    }
  }
  return positions;
}

// One deterministic damage of the archive: flipped bytes, a header field set
// to an extreme or shifted value, or a truncation.
std::string Mutate(const std::string& original, const std::vector<size_t>& headers,
                   std::mt19937& rng) {
  std::string bytes = original;
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  switch (pick(5)) {
    case 0: {
      size_t count = 1 + pick(4);
      for (size_t i = 0; i < count; ++i)
        bytes[pick(bytes.size())] ^= static_cast<char>(1 + pick(255));
      break;
    }
    case 1:
    case 2: {
      // A field inside a header: sizes, counts, offsets, name and extra lengths.
      size_t at = headers[pick(headers.size())] + 4 + pick(42);
      size_t width = pick(2) ? 4 : 2;
      static const uint32_t kValues[] = {0,          1,  0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF,
                                         0x80000000, 12, 22,     46};
      uint32_t value;
      if (pick(2)) {
        value = kValues[pick(sizeof(kValues) / sizeof(kValues[0]))];
      } else {
        uint32_t old = 0;
        for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
          old |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
        }
        value = old + static_cast<uint32_t>(static_cast<int>(pick(65)) - 32);
      }
      for (size_t i = 0; i < width && at + i < bytes.size(); ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
      }
      break;
    }
    case 3:
      bytes.resize(pick(bytes.size()));
      break;
    default: {
      // Cut out or repeat a piece: every later offset is wrong.
      size_t at = pick(bytes.size());
      size_t length = 1 + pick(64);
      if (pick(2)) {
        bytes.erase(at, length);
      } else {
        bytes.insert(at, bytes.substr(at, length));
      }
      break;
    }
  }
  return bytes;
}

TEST(ZipRobustness, MutatedArchivesNeverEscapeTheTargetFolder) {
  const wchar_t* fixtures[] = {
      L"py_basic.zip",  L"infozip.zip", L"infozip_stream.zip", L"infozip_encrypted.zip",
      L"times.zip",     L"names.zip",   L"py_dos.zip",         L"stub_front.zip",
      L"crafted_ok.zip"};
  const int kPerFixture = 400;
  std::wstring root = MakeScratchDir(L"mutation");
  std::wstring work = root + L"\\w\\x";
  ASSERT_TRUE(MakeFolders(work.c_str()));
  std::wstring archivePath = work + L"\\archive.zip";
  std::wstring target = work + L"\\out";
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);
  const std::set<std::wstring> driveC = Listing(L"C:"), driveZ = Listing(L"Z:");
  const std::set<std::wstring> here = Listing(cwd);

  std::mt19937 rng(4242);
  int opened = 0, extracted = 0, runs = 0;
  for (const wchar_t* fixture : fixtures) {
    std::string original = FixtureBytes(fixture);
    ASSERT_FALSE(original.empty()) << fixture;
    std::vector<size_t> headers = HeaderPositions(original);
    for (int m = 0; m < kPerFixture; ++m, ++runs) {
      ASSERT_TRUE(WriteFileBytes(archivePath, Mutate(original, headers, rng)));
      CreateDirectoryW(target.c_str(), nullptr);
      ZipHandle* handle = OpenArchiveFile(archivePath.c_str());
      if (handle) {
        ++opened;
        ZipItem item;
        if (GetArchiveItem(handle, -1, &item) == ZipResult::Ok) {
          int count = item.index < 40 ? item.index : 40;
          for (int i = 0; i < count; ++i) {
            // Every other run walks backwards, restarting the walk each time.
            int index = (m % 2) ? count - 1 - i : i;
            ZipResult described = GetArchiveItem(handle, index, &item);
            std::wstring path = target + L"\\" + item.name;
            ZipResult r = ExtractArchiveItem(handle, index, path.c_str());
            if (described != ZipResult::Ok) {
              EXPECT_EQ(r, described);
            }
            if (r == ZipResult::Ok) ++extracted;
          }
        }
        EXPECT_EQ(CloseArchive(handle), ZipResult::Ok);
      }
      std::set<std::wstring> inWork = Listing(work);
      ASSERT_EQ(inWork, (std::set<std::wstring>{L"archive.zip", L"out"}))
          << fixture << " mutation " << m;
      ASSERT_EQ(Listing(root + L"\\w"), std::set<std::wstring>{L"x"}) << fixture << " " << m;
      ASSERT_EQ(Listing(root), std::set<std::wstring>{L"w"}) << fixture << " " << m;
      RemoveTree(target);
    }
  }
  EXPECT_EQ(Listing(L"C:"), driveC);
  EXPECT_EQ(Listing(L"Z:"), driveZ);
  EXPECT_EQ(Listing(cwd), here);
  // The mutations must reach the extraction, not only the opening.
  EXPECT_GT(opened, runs / 2);
  EXPECT_GT(extracted, runs);
  printf("%d mutations, %d opened, %d items extracted\n", runs, opened, extracted);
}

}  // namespace

// The plan of an update fetched by difference, on releases made by real zip
// tools: the pieces it names, taken from the old package and from the new
// one's bytes, make the new package byte for byte, and fetch little.
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "delta/delta_plan.h"
#include "delta/package_index.h"
#include "zip/zip_test_util.h"

namespace {

// The new package indexed from its last tailSize bytes alone.
bool IndexTail(const std::string& bytes, size_t tailSize, PackageIndex* index) {
  const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
  return IndexPackageTail(data + bytes.size() - tailSize, static_cast<uint32_t>(tailSize),
                          static_cast<uint32_t>(bytes.size()), index);
}

std::string Rebuilt(const Vec<DeltaPiece>& plan, const std::string& old, const std::string& next) {
  std::string out;
  for (const DeltaPiece& piece : plan) {
    EXPECT_EQ(piece.offset, out.size()) << "pieces in order, end to end";
    if (piece.source == PieceSource::kTime) {
      for (uint32_t i = 0; i < piece.length; ++i) out += static_cast<char>(piece.value >> (8 * i));
      continue;
    }
    const std::string& from = piece.source == PieceSource::kOld ? old : next;
    uint32_t at = piece.source == PieceSource::kOld ? piece.oldOffset : piece.offset;
    if (at + static_cast<size_t>(piece.length) > from.size()) return std::string();
    out.append(from, at, piece.length);
  }
  return out;
}

TEST(DeltaPlan, RebuildsEachReleaseFromTheOldOneAndFetchesLittle) {
  PackageIndex old;
  ASSERT_TRUE(IndexPackageFile(FixturePath(L"delta_old.zip").c_str(), &old));
  ASSERT_EQ(old.entries.size(), 37u);
  const std::string oldBytes = FixtureBytes(L"delta_old.zip");
  struct Release {
    const wchar_t* name;
    double mostFetched;  // of the package's size
  } releases[] = {
      // Quelda.exe (91,000 bytes of noise) and three other files changed.
      {L"delta_new.zip", 0.45},
      // Only the times: every header the old one with the new time.
      {L"delta_touched.zip", 0.0},
      // The same data under other names.
      {L"delta_renamed.zip", 0.03},
      // Streamed: data descriptors, and the noise deflated instead of
      // stored (the text's data is the same).
      {L"delta_streamed.zip", 0.60},
      {L"delta_old.zip", 0.0},
  };
  for (const Release& release : releases) {
    SCOPED_TRACE(testing::Message() << release.name);
    const std::string next = FixtureBytes(release.name);
    PackageIndex index;
    ASSERT_TRUE(IndexTail(next, 65557 < next.size() ? 65557 : next.size(), &index));
    Vec<DeltaPiece> plan;
    ASSERT_TRUE(PlanDelta(old, index, &plan));
    EXPECT_TRUE(Rebuilt(plan, oldBytes, next) == next);
    double fetched = static_cast<double>(FetchedBytes(plan)) / next.size();
    printf("%ls: %zu pieces, %.4f of the package fetched\n", release.name, plan.size(), fetched);
    EXPECT_LE(fetched, release.mostFetched);
  }
}

TEST(DeltaPlan, LocalHeadersThatKeepTheAccessTimeAreFetched) {
  // Their central records agree, their local headers do not.
  PackageIndex old, index;
  ASSERT_TRUE(IndexPackageFile(FixturePath(L"delta_old_accessed.zip").c_str(), &old));
  const std::string next = FixtureBytes(L"delta_accessed.zip");
  ASSERT_TRUE(IndexTail(next, next.size(), &index));
  Vec<DeltaPiece> plan;
  ASSERT_TRUE(PlanDelta(old, index, &plan));
  EXPECT_TRUE(Rebuilt(plan, FixtureBytes(L"delta_old_accessed.zip"), next) == next);
  EXPECT_GT(FetchedBytes(plan), 0u);
  EXPECT_LE(FetchedBytes(plan), next.size() / 50);
}

TEST(DeltaPlan, ChangedDataIsFetchedWholeAndNothingElse) {
  PackageIndex old, next;
  ASSERT_TRUE(IndexPackageFile(FixturePath(L"delta_old.zip").c_str(), &old));
  ASSERT_TRUE(IndexPackageFile(FixturePath(L"delta_new.zip").c_str(), &next));
  Vec<DeltaPiece> plan;
  ASSERT_TRUE(PlanDelta(old, next, &plan));
  // What must come from the server: the spans of the entries whose data
  // the old package lacks.
  uint64_t changed = 0;
  for (const IndexedEntry& entry : next.entries) {
    bool known = false;
    for (const IndexedEntry& before : old.entries) {
      known = known || (before.crc == entry.crc && before.compressedSize == entry.compressedSize);
    }
    if (!known) changed += entry.end - entry.offset;
  }
  EXPECT_GE(changed, 91000u);
  EXPECT_GE(FetchedBytes(plan), changed);
  EXPECT_LE(FetchedBytes(plan), changed + 1024) << "headers near them at most";
  EXPECT_EQ(plan.back().source, PieceSource::kTail);
  EXPECT_EQ(plan.back().offset, next.directoryOffset);
}

TEST(PackageIndex, TailMustHoldTheWholeDirectory) {
  const std::string next = FixtureBytes(L"delta_new.zip");
  PackageIndex index;
  EXPECT_FALSE(IndexTail(next, 100, &index)) << "the end record alone";
  EXPECT_TRUE(IndexTail(next, next.size(), &index));
  uint32_t directory = index.directoryOffset;
  EXPECT_TRUE(IndexTail(next, next.size() - directory, &index));
  EXPECT_FALSE(IndexTail(next, next.size() - directory - 1, &index));
  // Not a package: a program stub in front of the archive.
  EXPECT_FALSE(IndexPackageFile(FixturePath(L"stub_front.zip").c_str(), &index));
  EXPECT_FALSE(IndexPackageFile(FixturePath(L"stream_input.bin").c_str(), &index));
}

}  // namespace

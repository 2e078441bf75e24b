#pragma once

#include <stdint.h>

#include "common/vec.h"
#include "delta/package_index.h"

// Where a stretch of the new package comes from.
enum class PieceSource {
  kFetch,  // from the server, by a byte range
  kOld,    // from the earlier package on disk, at oldOffset
  kTail,   // from the package's end already fetched (its central directory)
  kTime,   // the four bytes of a local header's DOS time and date, in value
};

struct DeltaPiece {
  uint32_t offset = 0;
  uint32_t length = 0;
  PieceSource source = PieceSource::kFetch;
  uint32_t oldOffset = 0;
  uint32_t value = 0;
};

// A copy from the old package shorter than this between two ranges is
// fetched with them: a range costs some 100 bytes of a multipart reply's
// part headers and its place in the Range header.
constexpr uint32_t kNearGap = 128;

// The new package, from its first byte to its last, as pieces in order:
// an entry whose data the old package holds (the same CRC-32, method and
// sizes, whatever its name) has its data copied, and its local header (and
// data descriptor) too where its central directory record agrees with the
// old one's in every field but the offset, its span has the old span's
// length and the old header keeps no time of last access, or with the new
// time where they differ in it alone and the old header keeps it in its DOS
// fields alone; everything else is fetched, and the central directory and end
// record come from the tail. Adjacent pieces of one source are joined, and
// near ranges merged. Only the whole file's hash can tell that the pieces
// are right. False when memory runs out.
bool PlanDelta(const PackageIndex& old, const PackageIndex& next, Vec<DeltaPiece>* plan);

// The bytes a plan fetches.
uint64_t FetchedBytes(const Vec<DeltaPiece>& plan);

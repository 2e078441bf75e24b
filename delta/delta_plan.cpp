#include "delta/delta_plan.h"

#include <stdlib.h>
#include <string.h>

namespace {

constexpr uint32_t kDataDescriptorFlag = 1u << 3;

int CompareData(const IndexedEntry& a, const IndexedEntry& b) {
  const uint32_t x[] = {a.crc, a.compressedSize, a.uncompressedSize, a.method};
  const uint32_t y[] = {b.crc, b.compressedSize, b.uncompressedSize, b.method};
  for (int i = 0; i < 4; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

int ByData(const void* a, const void* b) {
  return CompareData(**static_cast<const IndexedEntry* const*>(a),
                     **static_cast<const IndexedEntry* const*>(b));
}

bool Push(Vec<DeltaPiece>* plan, uint32_t offset, uint32_t length, PieceSource source,
          uint32_t oldOffset = 0) {
  if (length == 0) return true;
  if (!plan->empty()) {
    DeltaPiece& last = plan->back();
    bool joins = last.source == source && last.offset + last.length == offset &&
                 (source != PieceSource::kOld || last.oldOffset + last.length == oldOffset);
    if (joins) {
      last.length += length;
      return true;
    }
  }
  DeltaPiece piece;
  piece.offset = offset;
  piece.length = length;
  piece.source = source;
  piece.oldOffset = oldOffset;
  return plan->Push(piece);
}

// Where an entry's data ends: at its span's end, or before the data
// descriptor that follows it, taken as the 16 bytes with its signature that
// the zip tools write (a descriptor without one makes the whole check fail,
// and the package is fetched whole).
uint32_t DataEnd(const IndexedEntry& entry) {
  uint32_t descriptor = entry.flags & kDataDescriptorFlag ? 16 : 0;
  return entry.end - entry.offset < descriptor ? entry.offset : entry.end - descriptor;
}

bool SameRecord(const IndexedEntry& a, const IndexedEntry& b) {
  return a.record.size() == b.record.size() &&
         memcmp(a.record.c_str(), b.record.c_str(), a.record.size()) == 0;
}

// The pieces of one entry of the new package.
bool PlanEntry(const IndexedEntry& entry, const Vec<const IndexedEntry*>& byData,
               Vec<DeltaPiece>* plan) {
  // The old entries of the same data lie side by side in byData.
  size_t low = 0, high = byData.size();
  while (low < high) {
    size_t middle = (low + high) / 2;
    if (CompareData(*byData[middle], entry) < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  uint32_t span = entry.end - entry.offset;
  const IndexedEntry* sameData = nullptr;
  for (size_t i = low; i < byData.size(); ++i) {
    const IndexedEntry& candidate = *byData[i];
    if (CompareData(candidate, entry) != 0) break;
    if (SameRecord(candidate, entry) && candidate.end - candidate.offset == span &&
        !candidate.headerVaries) {
      return Push(plan, entry.offset, span, PieceSource::kOld, candidate.offset);
    }
    if (!sameData) sameData = &candidate;
  }
  uint32_t dataEnd = DataEnd(entry);
  if (!sameData || dataEnd - entry.offset < entry.compressedSize ||
      DataEnd(*sameData) - sameData->offset < entry.compressedSize) {
    return Push(plan, entry.offset, span, PieceSource::kFetch);
  }
  // The header (and a descriptor) fetched around the data copied.
  uint32_t size = entry.compressedSize;
  return Push(plan, entry.offset, dataEnd - size - entry.offset, PieceSource::kFetch) &&
         Push(plan, dataEnd - size, size, PieceSource::kOld, DataEnd(*sameData) - size) &&
         Push(plan, dataEnd, entry.end - dataEnd, PieceSource::kFetch);
}

// Copies shorter than kNearGap between two fetched pieces are fetched with
// them.
bool MergeNear(const Vec<DeltaPiece>& pieces, Vec<DeltaPiece>* plan) {
  for (size_t i = 0; i < pieces.size(); ++i) {
    DeltaPiece piece = pieces[i];
    bool between = i > 0 && i + 1 < pieces.size() && pieces[i - 1].source == PieceSource::kFetch &&
                   pieces[i + 1].source == PieceSource::kFetch;
    if (piece.source == PieceSource::kOld && piece.length < kNearGap && between) {
      piece.source = PieceSource::kFetch;
    }
    if (!Push(plan, piece.offset, piece.length, piece.source, piece.oldOffset)) return false;
  }
  return true;
}

}  // namespace

bool PlanDelta(const PackageIndex& old, const PackageIndex& next, Vec<DeltaPiece>* plan) {
  plan->Clear();
  // The old entries in the order of their data, for a binary search.
  Vec<const IndexedEntry*> byData;
  for (const IndexedEntry& entry : old.entries) {
    if (!byData.Push(&entry)) return false;
  }
  qsort(byData.begin(), byData.size(), sizeof(const IndexedEntry*), ByData);
  Vec<DeltaPiece> pieces;
  uint32_t first = next.entries.empty() ? next.directoryOffset : next.entries[0].offset;
  if (!Push(&pieces, 0, first, PieceSource::kFetch)) return false;
  for (const IndexedEntry& entry : next.entries) {
    if (!PlanEntry(entry, byData, &pieces)) return false;
  }
  return Push(&pieces, next.directoryOffset, next.size - next.directoryOffset,
              PieceSource::kTail) &&
         MergeNear(pieces, plan);
}

uint64_t FetchedBytes(const Vec<DeltaPiece>& plan) {
  uint64_t bytes = 0;
  for (const DeltaPiece& piece : plan) {
    if (piece.source == PieceSource::kFetch) bytes += piece.length;
  }
  return bytes;
}

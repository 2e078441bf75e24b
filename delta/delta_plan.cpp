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
          uint32_t oldOffset = 0, uint32_t value = 0) {
  if (length == 0) return true;
  if (!plan->empty() && source != PieceSource::kTime) {
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
  piece.value = value;
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

// Where a central record keeps the DOS time and date, and a local header.
constexpr size_t kRecordTime = 12;
constexpr uint32_t kHeaderTime = 10;

// Whether two central records agree in every byte, or in every byte but
// the time and date.
bool SameRecord(const IndexedEntry& a, const IndexedEntry& b, bool butTime = false) {
  const char* x = a.record.c_str();
  const char* y = b.record.c_str();
  size_t size = a.record.size();
  if (size != b.record.size() || size < kRecordTime + 4) return false;
  if (!butTime) return memcmp(x, y, size) == 0;
  return memcmp(x, y, kRecordTime) == 0 &&
         memcmp(x + kRecordTime + 4, y + kRecordTime + 4, size - kRecordTime - 4) == 0;
}

uint32_t RecordTime(const IndexedEntry& entry) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(entry.record.c_str()) + kRecordTime;
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
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
    if (candidate.end - candidate.offset == span && !candidate.headerVaries) {
      if (SameRecord(candidate, entry)) {
        return Push(plan, entry.offset, span, PieceSource::kOld, candidate.offset);
      }
      // Only its time changed: the old header with the new time.
      if (candidate.timeInDosFields && span >= kHeaderTime + 4 &&
          SameRecord(candidate, entry, /*butTime=*/true)) {
        uint32_t rest = kHeaderTime + 4;
        return Push(plan, entry.offset, kHeaderTime, PieceSource::kOld, candidate.offset) &&
               Push(plan, entry.offset + kHeaderTime, 4, PieceSource::kTime, 0,
                    RecordTime(entry)) &&
               Push(plan, entry.offset + rest, span - rest, PieceSource::kOld,
                    candidate.offset + rest);
      }
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
    if (!Push(plan, piece.offset, piece.length, piece.source, piece.oldOffset, piece.value)) {
      return false;
    }
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

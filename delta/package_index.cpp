#include "delta/package_index.h"

#include <stdlib.h>
#include <string.h>

#include "common/scoped.h"
#include "zip/zip_reader.h"

namespace {

constexpr uint32_t kRecordFixedBytes = 46;
constexpr uint32_t kRecordOffsetField = 42;

int ByOffset(const void* a, const void* b) {
  uint32_t x = (*static_cast<IndexedEntry* const*>(a))->offset;
  uint32_t y = (*static_cast<IndexedEntry* const*>(b))->offset;
  return x < y ? -1 : x > y;
}

constexpr uint32_t kTimestampField = 0x5455;
constexpr unsigned char kAccessTimeFlag = 2;

// Whether the current entry's local header keeps a time of last access,
// and whether it keeps the file's time in its DOS fields alone.
bool ReadHeaderTimes(ZipReader* reader, IndexedEntry* entry) {
  uint32_t variable = 0, offset = 0, size = 0;
  if (CheckLocalHeader(reader, &variable, &offset, &size) != ZipReadStatus::Ok) return false;
  ByteStr extra;
  if (!extra.Resize(size) || !SeekSource(reader->source.get(), offset) ||
      (size && !ReadSource(reader->source.get(), extra.data(), size))) {
    return false;
  }
  const unsigned char* field = reinterpret_cast<const unsigned char*>(extra.c_str());
  entry->timeInDosFields = true;
  for (uint32_t at = 0; at + 4 <= size;) {
    uint32_t id = field[at] | (field[at + 1] << 8);
    uint32_t length = field[at + 2] | (field[at + 3] << 8);
    if (id == kTimestampField) {
      entry->timeInDosFields = false;
      if (length >= 9 && at + 4 < size && (field[at + 4] & kAccessTimeFlag)) {
        entry->headerVaries = true;
      }
    }
    at += 4 + length;
  }
  return true;
}

bool IndexReader(ZipReader* reader, uint32_t size, PackageIndex* index, bool local) {
  index->entries.Clear();
  // A package starts with its first entry: the spans are its own offsets.
  if (!reader || reader->leadingBytes != 0 || reader->dirSize > kMaxDirectoryBytes) return false;
  index->directoryOffset = reader->dirOffset;
  index->size = size;
  for (uint32_t i = 0; i < reader->entryCount; ++i) {
    if (i > 0 && GoToNextEntry(reader) != ZipReadStatus::Ok) return false;
    if (!reader->entryOk) return false;
    const ZipEntryInfo& info = reader->info;
    IndexedEntry entry;
    entry.offset = reader->localHeaderOffset;
    entry.crc = info.crc32;
    entry.method = info.method;
    entry.compressedSize = info.compressedSize;
    entry.uncompressedSize = info.uncompressedSize;
    entry.flags = info.flags;
    uint32_t length = kRecordFixedBytes + info.nameLength + info.extraLength + info.commentLength;
    if (!entry.record.Resize(length) || !SeekSource(reader->source.get(), reader->entryPos) ||
        !ReadSource(reader->source.get(), entry.record.data(), length)) {
      return false;
    }
    memset(entry.record.data() + kRecordOffsetField, 0, 4);
    if (local && !ReadHeaderTimes(reader, &entry)) return false;
    if (!index->entries.Push(static_cast<IndexedEntry&&>(entry))) return false;
  }
  // In the order of their offsets (a directory lists them so, as a rule):
  // through pointers, whose sort is the C library's.
  Vec<IndexedEntry*> order;
  for (IndexedEntry& entry : index->entries) {
    if (!order.Push(&entry)) return false;
  }
  qsort(order.begin(), order.size(), sizeof(IndexedEntry*), ByOffset);
  Vec<IndexedEntry> sorted;
  for (IndexedEntry* entry : order) {
    if (!sorted.Push(static_cast<IndexedEntry&&>(*entry))) return false;
  }
  index->entries = static_cast<Vec<IndexedEntry>&&>(sorted);
  for (size_t i = 0; i < index->entries.size(); ++i) {
    IndexedEntry& entry = index->entries[i];
    entry.end = i + 1 < index->entries.size() ? index->entries[i + 1].offset
                                               : index->directoryOffset;
    // Overlapping or too short for its data: no span to copy or plan by.
    if (entry.end < entry.offset || entry.end - entry.offset < entry.compressedSize) return false;
  }
  return true;
}

}  // namespace

bool IndexPackageFile(const wchar_t* path, PackageIndex* index) {
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > 0xFFFFFFFFll) return false;
  Owned<ZipReader> reader = OpenReader(CreateZipSource(static_cast<ScopedHandle&&>(file)));
  return IndexReader(reader.get(), static_cast<uint32_t>(size.QuadPart), index, true);
}

bool IndexPackageTail(const unsigned char* tail, uint32_t tailSize, uint32_t size,
                      PackageIndex* index) {
  Owned<ZipReader> reader = OpenReader(CreateTailSource(tail, tailSize, size));
  // The whole directory in the tail; the reader reads nothing before it.
  return reader && reader->dirOffset >= size - tailSize && IndexReader(reader.get(), size, index, false);
}

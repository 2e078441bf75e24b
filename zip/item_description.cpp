#include "zip/item_description.h"

#include <string.h>
#include <wchar.h>

#include "zip/item_name.h"

namespace {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr uint32_t kNameBufferBytes = kZipPathChars;
constexpr uint64_t kLocalHeaderBytes = 30;

void SetFileTimeValue(FILETIME* time, uint64_t value) {
  time->dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  time->dwHighDateTime = static_cast<DWORD>(value >> 32);
}

// DOS date and time are local time. An impossible date (month 0, hour 25)
// gives a zero time, which SetFileTime takes as "leave unchanged".
FILETIME DosTimeToFileTime(uint32_t dos) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(1980 + ((dos >> 25) & 0x7F));
  st.wMonth = static_cast<WORD>((dos >> 21) & 0x0F);
  st.wDay = static_cast<WORD>((dos >> 16) & 0x1F);
  st.wHour = static_cast<WORD>((dos >> 11) & 0x1F);
  st.wMinute = static_cast<WORD>((dos >> 5) & 0x3F);
  st.wSecond = static_cast<WORD>(2 * (dos & 0x1F));
  FILETIME local = {}, utc = {};
  if (!SystemTimeToFileTime(&st, &local) || !LocalFileTimeToFileTime(&local, &utc)) {
    FILETIME none = {};
    return none;
  }
  return utc;
}

uint32_t Attributes(const ZipEntryInfo& info) {
  uint32_t host = (info.versionMadeBy >> 8) & 0xFF;
  uint32_t external = info.externalAttributes;
  uint32_t attributes = 0;
  if (host == 0 || host == 7 || host == 11 || host == 14) {
    attributes =
        external & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE);
  } else {
    if (external & (1u << 30)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!(external & (1u << 23))) attributes |= FILE_ATTRIBUTE_READONLY;
    attributes |= FILE_ATTRIBUTE_ARCHIVE;
  }
  return attributes;
}

uint32_t LittleEndian(const unsigned char* p, int width) {
  uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint32_t>(p[i]) << (8 * i);
  return value;
}

// The extended timestamp block (0x5455): Unix times for modification, access
// and creation, each present when its flag bit is set.
void ApplyExtendedTimestamp(const unsigned char* extra, uint32_t size, ZipItem* item) {
  if (size <= 4) return;
  uint32_t offset = 0;
  while (offset + 4 < size) {
    uint32_t dataSize = LittleEndian(extra + offset + 2, 2);
    if (extra[offset] == 0x55 && extra[offset + 1] == 0x54) {
      // A time must lie inside the block as well as inside the field: bytes
      // of the next block are no time.
      uint64_t blockEnd = static_cast<uint64_t>(offset) + 4 + dataSize;
      if (blockEnd > size) blockEnd = size;
      uint32_t flags = extra[offset + 4];
      uint64_t pos = offset + 5;
      FILETIME* targets[3] = {&item->writeTime, &item->accessTime, &item->creationTime};
      for (int bit = 0; bit < 3; ++bit) {
        if (!(flags & (1u << bit))) continue;
        if (pos + 4 > blockEnd) break;
        int32_t t = static_cast<int32_t>(LittleEndian(extra + pos, 4));
        SetFileTimeValue(targets[bit],
                         static_cast<uint64_t>(static_cast<int64_t>(t) * 10000000 +
                                               static_cast<int64_t>(kUnixEpochAsFileTime)));
        pos += 4;
      }
      return;
    }
    offset += 4 + dataSize;
  }
}

bool EndsInSeparator(const wchar_t* name) {
  size_t length = wcslen(name);
  return length > 0 && IsZipSeparator(name[length - 1]);
}

}  // namespace

ZipResult DescribeItem(Unzipper* unzipper, int32_t index, ZipItem* item) {
  ZipReader* reader = unzipper->reader.get();
  // The cache serves only while the walk stands on its entry: extraction
  // reads the data of the current entry.
  if (index >= 0 && index == unzipper->cachedIndex &&
      reader->entryIndex == static_cast<uint32_t>(index) && reader->entryOk) {
    *item = unzipper->cachedItem;
    return ZipResult::Ok;
  }
  if (index == -1) {
    memset(item, 0, sizeof(*item));
    item->index = static_cast<int32_t>(reader->entryCount);
    return ZipResult::Ok;
  }
  uint32_t wanted = static_cast<uint32_t>(index);
  if (wanted < reader->entryIndex) GoToFirstEntry(reader);
  // A header that cannot be read stops the walk where it is.
  while (reader->entryIndex != wanted) {
    uint32_t before = reader->entryIndex;
    GoToNextEntry(reader);
    if (reader->entryIndex == before) return ZipResult::Corrupt;
  }
  if (!reader->entryOk) return ZipResult::Corrupt;

  ZipEntryInfo info;
  char rawName[kNameBufferBytes];
  if (ReadEntryInfo(reader, &info, nullptr, rawName, sizeof(rawName)) != ZipReadStatus::Ok) {
    return ZipResult::Corrupt;
  }
  // A name cut to the buffer would be extracted under another name.
  if (info.nameLength >= kNameBufferBytes) return ZipResult::Corrupt;
  uint32_t variableSize, extraOffset, extraSize;
  if (CheckLocalHeader(reader, &variableSize, &extraOffset, &extraSize) != ZipReadStatus::Ok) {
    return ZipResult::Corrupt;
  }
  unzipper->spanStart = reader->localHeaderOffset;
  unzipper->spanEnd = unzipper->spanStart + kLocalHeaderBytes + variableSize + info.compressedSize;
  ZipSource* source = reader->source.get();
  OwnedArray<unsigned char> extra;
  if (!extra.Allocate(extraSize)) return ZipResult::ReadFailed;
  if (!SeekSource(source, static_cast<uint64_t>(extraOffset) + reader->leadingBytes) ||
      (extraSize > 0 && !ReadSource(source, extra.get(), extraSize))) {
    return ZipResult::ReadFailed;
  }

  ZipItem result;
  memset(&result, 0, sizeof(result));
  result.index = static_cast<int32_t>(reader->entryIndex);
  // The name is in the ANSI code page whatever flag bit 11 says; it stops at
  // a zero byte.
  wchar_t converted[kZipPathChars] = {};
  if (rawName[0] && MultiByteToWideChar(CP_ACP, 0, rawName, -1, converted, kZipPathChars) == 0) {
    return ZipResult::Corrupt;
  }
  if (!MakeSafeName(converted, result.name, kZipPathChars)) return ZipResult::Corrupt;
  result.attributes = Attributes(info);
  // A name that ends in a separator names a folder, whatever the attributes
  // its zip tool wrote (some write none); extracted as a file, it would
  // stand where the items beneath it need their folder.
  if (EndsInSeparator(result.name)) result.attributes |= FILE_ATTRIBUTE_DIRECTORY;
  // "./" is a folder by its separator, "." by its attributes; a file of
  // that name has nowhere to go and stays an item with an empty name.
  bool targetFolder =
      NamesCurrentFolder(converted) &&
      ((result.attributes & FILE_ATTRIBUTE_DIRECTORY) || EndsInSeparator(converted));
  if (targetFolder) result.attributes |= FILE_ATTRIBUTE_DIRECTORY;
  result.compressedSize = static_cast<int32_t>(info.compressedSize);
  result.uncompressedSize = static_cast<int32_t>(info.uncompressedSize);
  FILETIME dosTime = DosTimeToFileTime(info.dosDateTime);
  result.accessTime = result.creationTime = result.writeTime = dosTime;
  if (extraSize > 0) ApplyExtendedTimestamp(extra.get(), extraSize, &result);

  *item = result;
  unzipper->cachedItem = result;
  unzipper->cachedIndex = index;
  unzipper->namesTargetFolder = targetFolder;
  return ZipResult::Ok;
}

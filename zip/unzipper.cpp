#include "zip/unzipper.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/scoped.h"

namespace {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr uint32_t kNameBufferBytes = kZipPathChars;
constexpr uint64_t kLocalHeaderBytes = 30;
// The most that deflate makes of one byte of its stream.
constexpr uint64_t kDeflateMaxRatio = 1032;

struct Span {
  uint64_t start;
  uint64_t end;
};

int CompareSpans(const void* a, const void* b) {
  uint64_t x = static_cast<const Span*>(a)->start, y = static_cast<const Span*>(b)->start;
  return x < y ? -1 : x > y ? 1 : 0;
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsolute(const wchar_t* path) {
  return IsSeparator(path[0]) || (path[0] && path[1] == L':');
}

// Appends text to buffer (holding used characters); false, with the buffer
// left unterminated past used, when the result would not fit.
bool Append(wchar_t* buffer, size_t* used, const wchar_t* text, size_t count) {
  if (*used + count >= static_cast<size_t>(kZipPathChars)) return false;
  memcpy(buffer + *used, text, count * sizeof(wchar_t));
  *used += count;
  buffer[*used] = 0;
  return true;
}

bool Append(wchar_t* buffer, size_t* used, const wchar_t* text) {
  return Append(buffer, used, text, wcslen(text));
}

ZipResult CheckHandle(ZipHandle* handle) {
  if (!handle) return ZipResult::BadArgument;
  if (handle->kind != kZipReadingHandle) return ZipResult::WrongHandleKind;
  if (!handle->unzipper || !handle->unzipper->reader) return ZipResult::BadArgument;
  return ZipResult::Ok;
}

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

bool EqualsNoCase(const wchar_t* text, size_t length, const wchar_t* word) {
  size_t n = wcslen(word);
  return length == n && _wcsnicmp(text, word, n) == 0;
}

// A component that Windows would not keep as written, or that names no file
// in the target: empty (two separators in a row), made of dots and blanks
// only (".", "..", ". "), ending in a dot or a blank (trimmed away, so that
// "a." would be "a"), holding a character no file name may hold (control
// characters, < > " | ? *), or a device (CON, PRN, AUX, NUL, COM0-9 and LPT0-9,
// the digits 1-3 also as superscripts, CONIN$, CONOUT$), with or without an
// extension.
bool IsDangerousComponent(const wchar_t* c, size_t length) {
  if (length == 0 || c[length - 1] == L'.' || c[length - 1] == L' ') return true;
  // Characters no Windows file name may hold: such an item would fail only
  // when its turn to be extracted came.
  for (size_t i = 0; i < length; ++i) {
    if (c[i] < 0x20 || wcschr(L"<>\"|?*", c[i])) return true;
  }
  size_t others = 0;
  for (size_t i = 0; i < length; ++i) {
    if (c[i] != L'.' && c[i] != L' ') ++others;
  }
  if (others == 0) return true;
  size_t base = 0;
  while (base < length && c[base] != L'.') ++base;
  while (base > 0 && c[base - 1] == L' ') --base;
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (EqualsNoCase(c, base, device)) return true;
  }
  if (base == 4 && (_wcsnicmp(c, L"COM", 3) == 0 || _wcsnicmp(c, L"LPT", 3) == 0)) {
    wchar_t digit = c[3];
    if ((digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
        digit == L'\u00B3') {
      return true;
    }
  }
  return false;
}

ZipResult Describe(Unzipper* unzipper, int32_t index, ZipItem* item) {
  ZipReader* reader = unzipper->reader;
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
  ZipSource* source = reader->source;
  unsigned char* extra = nullptr;
  if (extraSize > 0) {
    extra = static_cast<unsigned char*>(malloc(extraSize));
    if (!extra) return ZipResult::ReadFailed;
  }
  if (!SeekSource(source, static_cast<uint64_t>(extraOffset) + reader->leadingBytes) ||
      (extraSize > 0 && !ReadSource(source, extra, extraSize))) {
    free(extra);
    return ZipResult::ReadFailed;
  }

  ZipItem result;
  memset(&result, 0, sizeof(result));
  result.index = static_cast<int32_t>(reader->entryIndex);
  // The name is in the ANSI code page whatever flag bit 11 says; it stops at
  // a zero byte.
  wchar_t converted[kZipPathChars] = {};
  if (rawName[0] && MultiByteToWideChar(CP_ACP, 0, rawName, -1, converted, kZipPathChars) == 0) {
    free(extra);
    return ZipResult::Corrupt;
  }
  if (!MakeSafeName(converted, result.name, kZipPathChars)) {
    free(extra);
    return ZipResult::Corrupt;
  }
  result.attributes = Attributes(info);
  // A name that ends in a separator names a folder, whatever the attributes
  // its zip tool wrote (some write none); extracted as a file, it would
  // stand where the items beneath it need their folder.
  size_t nameLength = wcslen(result.name);
  if (nameLength > 0 && IsSeparator(result.name[nameLength - 1])) {
    result.attributes |= FILE_ATTRIBUTE_DIRECTORY;
  }
  result.compressedSize = static_cast<int32_t>(info.compressedSize);
  result.uncompressedSize = static_cast<int32_t>(info.uncompressedSize);
  FILETIME dosTime = DosTimeToFileTime(info.dosDateTime);
  result.accessTime = result.creationTime = result.writeTime = dosTime;
  if (extra) ApplyExtendedTimestamp(extra, extraSize, &result);
  free(extra);

  *item = result;
  unzipper->cachedItem = result;
  unzipper->cachedIndex = index;
  return ZipResult::Ok;
}

// The block buffer of entry reads, made at the first use.
bool HasWriteBuffer(Unzipper* unzipper) {
  if (!unzipper->writeBuffer) {
    unzipper->writeBuffer = static_cast<unsigned char*>(malloc(kZipBlockSize));
  }
  return unzipper->writeBuffer != nullptr;
}

// Reads the current entry to its end, writing it to file unless that is
// null, and checks its length and CRC.
ZipResult WriteEntry(Unzipper* unzipper, HANDLE file, uint32_t expectedSize) {
  ZipReader* reader = unzipper->reader;
  OpenEntry(reader, unzipper->password);
  ZipResult result = ZipResult::Ok;
  uint64_t written = 0;
  for (;;) {
    bool atEnd = false;
    int32_t n = ReadEntry(reader, unzipper->writeBuffer, kZipBlockSize, &atEnd);
    if (n == static_cast<int32_t>(ZipReadStatus::BadPassword)) {
      result = ZipResult::BadPassword;
      break;
    }
    if (n < 0) {
      result = ZipResult::DecompressFailed;
      break;
    }
    if (n > 0) {
      DWORD done = 0;
      if (file && (!WriteFile(file, unzipper->writeBuffer, static_cast<DWORD>(n), &done, nullptr) ||
                   done != static_cast<DWORD>(n))) {
        result = ZipResult::WriteFailed;
        break;
      }
      written += static_cast<uint32_t>(n);
    }
    if (atEnd) {
      // A deflate stream may end before the size its entry declares.
      if (written != expectedSize) result = ZipResult::DecompressFailed;
      break;
    }
    if (n == 0) {
      result = ZipResult::DecompressFailed;
      break;
    }
  }
  // The installer must not take a corrupted file for an installed one.
  if (CloseEntry(reader) == ZipReadStatus::CrcMismatch && result == ZipResult::Ok) {
    result = ZipResult::DecompressFailed;
  }
  return result;
}

}  // namespace

bool MakeSafeName(const wchar_t* name, wchar_t* safe, size_t safeSize) {
  if (!safe || safeSize == 0) return false;
  safe[0] = 0;
  if (!name) return true;
  const wchar_t* p = name;
  static const wchar_t* const kParentSegments[] = {L"\\..\\", L"\\../", L"/../", L"/..\\"};
  for (;;) {
    if (p[0] && p[1] == L':') {
      p += 2;
      continue;
    }
    if (IsSeparator(p[0])) {
      p += 1;
      continue;
    }
    const wchar_t* next = nullptr;
    for (const wchar_t* segment : kParentSegments) {
      const wchar_t* hit = wcsstr(p, segment);
      if (hit) {
        next = hit + 4;
        break;
      }
    }
    if (!next) break;
    p = next;
  }
  size_t length = wcslen(p);
  if (length >= safeSize || length >= static_cast<size_t>(kZipPathChars)) return false;
  if (wcschr(p, L':')) return false;
  for (const wchar_t* c = p; *c;) {
    const wchar_t* end = c;
    while (*end && !IsSeparator(*end)) ++end;
    if (IsDangerousComponent(c, static_cast<size_t>(end - c))) return false;
    c = *end ? end + 1 : end;
  }
  memcpy(safe, p, (length + 1) * sizeof(wchar_t));
  return true;
}

ZipHandle* OpenArchiveFile(const wchar_t* path) {
  if (!path) return nullptr;
  Unzipper* unzipper = static_cast<Unzipper*>(calloc(1, sizeof(Unzipper)));
  if (!unzipper) return nullptr;
  unzipper->cachedIndex = -1;
  DWORD n = GetCurrentDirectoryW(kZipPathChars - 1, unzipper->rootFolder);
  if (n == 0 || n >= static_cast<DWORD>(kZipPathChars - 1)) {
    // Relative targets then resolve against the current folder at use.
    unzipper->rootFolder[0] = 0;
  } else if (!IsSeparator(unzipper->rootFolder[n - 1])) {
    unzipper->rootFolder[n] = L'/';
    unzipper->rootFolder[n + 1] = 0;
  }
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    free(unzipper);
    return nullptr;
  }
  ZipSource* source = CreateZipSource(file, true);
  unzipper->reader = source ? OpenReader(source) : nullptr;
  ZipHandle* handle =
      unzipper->reader ? static_cast<ZipHandle*>(calloc(1, sizeof(ZipHandle))) : nullptr;
  if (!handle) {
    CloseReader(unzipper->reader);
    free(unzipper);
    return nullptr;
  }
  handle->kind = kZipReadingHandle;
  handle->unzipper = unzipper;
  return handle;
}

ZipResult GetArchiveItem(ZipHandle* handle, int32_t index, ZipItem* item) {
  if (!item) return ZipResult::BadArgument;
  item->index = 0;
  item->name[0] = 0;
  item->uncompressedSize = 0;
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper;
  if (index < -1 || (index >= 0 && static_cast<uint32_t>(index) >= unzipper->reader->entryCount)) {
    return ZipResult::BadArgument;
  }
  return Describe(unzipper, index, item);
}

ZipResult ExtractArchiveItem(ZipHandle* handle, int32_t index, const wchar_t* targetPath) {
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper;
  if (index < 0 || static_cast<uint32_t>(index) >= unzipper->reader->entryCount) {
    return ZipResult::BadArgument;
  }
  if (!targetPath) targetPath = L"";
  ZipItem item;
  ZipResult described = Describe(unzipper, index, &item);
  if (described != ZipResult::Ok) return described;

  if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    EnsureFolderPath(IsAbsolute(targetPath) ? nullptr : unzipper->rootFolder, targetPath);
    return ZipResult::Ok;
  }

  size_t split = 0;
  for (size_t i = 0; targetPath[i]; ++i) {
    if (IsSeparator(targetPath[i])) split = i + 1;
  }
  if (split >= static_cast<size_t>(kZipPathChars)) return ZipResult::CannotOpen;
  wchar_t folder[kZipPathChars];
  memcpy(folder, targetPath, split * sizeof(wchar_t));
  folder[split] = 0;
  const wchar_t* filePart = targetPath + split;
  bool absolute = IsAbsolute(folder);
  const wchar_t* base = absolute ? nullptr : unzipper->rootFolder;
  wchar_t fullPath[kZipPathChars];
  size_t used = 0;
  fullPath[0] = 0;
  if ((base && !Append(fullPath, &used, base)) || !Append(fullPath, &used, folder) ||
      !Append(fullPath, &used, filePart)) {
    return ZipResult::CannotOpen;
  }
  size_t folderLength = used - wcslen(filePart);
  if (wcsncmp(unzipper->madeFolder, fullPath, folderLength) != 0 ||
      unzipper->madeFolder[folderLength] != 0) {
    EnsureFolderPath(base, folder);
    memcpy(unzipper->madeFolder, fullPath, folderLength * sizeof(wchar_t));
    unzipper->madeFolder[folderLength] = 0;
  }

  if (!HasWriteBuffer(unzipper)) return ZipResult::WriteFailed;
  HANDLE file =
      CreateFileW(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, item.attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ZipResult::CannotOpen;
  ZipResult result = WriteEntry(unzipper, file, static_cast<uint32_t>(item.uncompressedSize));
  if (result == ZipResult::Ok) {
    SetFileTime(file, &item.creationTime, &item.accessTime, &item.writeTime);
  }
  CloseHandle(file);
  return result;
}

namespace {

void Measure(ArchiveFacts::Longest* longest, size_t length, int32_t index) {
  if (length > longest->length || longest->index < 0) *longest = {length, index};
}

// The lengths an item's name sets bounds to.
void MeasureName(ArchiveFacts* facts, const ZipItem& item) {
  size_t length = wcslen(item.name);
  // A folder item's name may end in its separator.
  size_t end = length;
  while (end > 0 && IsSeparator(item.name[end - 1])) --end;
  size_t split = end;
  while (split > 0 && !IsSeparator(item.name[split - 1])) --split;
  Measure(&facts->name, length, item.index);
  // A folder item makes its own folder, as a file makes its parents.
  bool folder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  Measure(&facts->folder, folder ? end + 1 : split, item.index);
  Measure(&facts->lastName, end - split, item.index);
}

// Every item's name as the file system compares them: upper case, one
// separator sorting before every character, no trailing separator; whether
// each names a file.
class NameList {
 public:
  ~NameList() {
    free(text_);
    free(names_);
  }

  bool Add(const ZipItem& item) {
    size_t length = wcslen(item.name);
    while (length > 0 && IsSeparator(item.name[length - 1])) --length;
    bool folder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!Reserve(length + 1)) return false;
    wchar_t* name = text_ + used_;
    for (size_t i = 0; i < length; ++i) {
      name[i] = IsSeparator(item.name[i]) ? kSeparator : item.name[i];
    }
    name[length] = 0;
    if (length > 0) {
      LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, static_cast<int>(length), name,
                   static_cast<int>(length));
    }
    names_[count_++] = {used_, nullptr, folder};
    used_ += length + 1;
    return true;
  }

  // No two items name the same file, nor does a file stand where another
  // item needs a folder: the second would replace the first, or its backup
  // the backup of the user's file, or fail half-way through.
  bool Distinct() {
    // The text no longer moves.
    for (size_t i = 0; i < count_; ++i) names_[i].text = text_ + names_[i].offset;
    qsort(names_, count_, sizeof(Name), Compare);
    for (size_t i = 1; i < count_; ++i) {
      const Name& a = names_[i - 1];
      const Name& b = names_[i];
      const wchar_t* first = a.text;
      const wchar_t* second = b.text;
      size_t length = wcslen(first);
      if (wcscmp(first, second) == 0) {
        if (!a.folder || !b.folder) return false;
      } else if (!a.folder && wcsncmp(first, second, length) == 0 &&
                 second[length] == kSeparator) {
        return false;
      }
    }
    return true;
  }

 private:
  static constexpr wchar_t kSeparator = 1;
  struct Name {
    size_t offset;
    const wchar_t* text;  // once every name is in
    bool folder;
  };

  // With the separator below every character, the items beneath a name
  // follow it at once.
  static int Compare(const void* a, const void* b) {
    return wcscmp(static_cast<const Name*>(a)->text, static_cast<const Name*>(b)->text);
  }

  bool Reserve(size_t characters) {
    if (count_ == capacity_) {
      size_t capacity = capacity_ ? capacity_ * 2 : 64;
      Name* names = static_cast<Name*>(realloc(names_, capacity * sizeof(Name)));
      if (!names) return false;
      names_ = names;
      capacity_ = capacity;
    }
    if (used_ + characters > textCapacity_) {
      size_t capacity = textCapacity_ ? textCapacity_ * 2 : 4096;
      while (capacity < used_ + characters) capacity *= 2;
      wchar_t* text = static_cast<wchar_t*>(realloc(text_, capacity * sizeof(wchar_t)));
      if (!text) return false;
      text_ = text;
      textCapacity_ = capacity;
    }
    return true;
  }

  wchar_t* text_ = nullptr;
  size_t used_ = 0, textCapacity_ = 0;
  Name* names_ = nullptr;
  size_t count_ = 0, capacity_ = 0;
};

// The structure alone, before any data is read: names, headers, where each
// item lies, and sizes that can be honest.
ZipResult VerifyStructure(Unzipper* unzipper, ArchiveFacts* facts) {
  ZipReader* reader = unzipper->reader;
  uint32_t count = reader->entryCount;
  Span* spans = static_cast<Span*>(malloc((count ? count : 1) * sizeof(Span)));
  if (!spans) return ZipResult::ReadFailed;
  ZipResult result = ZipResult::Ok;
  NameList names;
  for (uint32_t index = 0; index < count && result == ZipResult::Ok; ++index) {
    ZipItem item;
    result = Describe(unzipper, static_cast<int32_t>(index), &item);
    if (result != ZipResult::Ok) break;
    const ZipEntryInfo& info = reader->info;
    // A name that the rules reduce to nothing ("/", "C:") names the target
    // folder itself.
    if (item.name[0] == 0 || unzipper->spanEnd > reader->dirOffset ||
        (info.method == 8 &&
         info.uncompressedSize / kDeflateMaxRatio > static_cast<uint64_t>(info.compressedSize))) {
      result = ZipResult::Corrupt;
      break;
    }
    spans[index] = {unzipper->spanStart, unzipper->spanEnd};
    facts->totalSize += info.uncompressedSize;
    MeasureName(facts, item);
    if (!names.Add(item)) {
      result = ZipResult::ReadFailed;
      break;
    }
  }
  if (result == ZipResult::Ok && !names.Distinct()) result = ZipResult::Corrupt;
  if (result == ZipResult::Ok) {
    qsort(spans, count, sizeof(Span), CompareSpans);
    // Sorted by start, each item must end before the next begins; a shared
    // local header is the plainest overlap.
    for (uint32_t i = 1; i < count; ++i) {
      if (spans[i].start < spans[i - 1].end) result = ZipResult::Corrupt;
    }
  }
  free(spans);
  return result;
}

}  // namespace

ZipResult VerifyArchive(ZipHandle* handle, ArchiveFacts* facts) {
  ArchiveFacts unused;
  if (!facts) facts = &unused;
  *facts = {0, {0, -1}, {0, -1}, {0, -1}};
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper;
  if (!HasWriteBuffer(unzipper)) return ZipResult::ReadFailed;
  ZipResult structure = VerifyStructure(unzipper, facts);
  if (structure != ZipResult::Ok) return structure;
  for (uint32_t index = 0; index < unzipper->reader->entryCount; ++index) {
    ZipItem item;
    ZipResult result = Describe(unzipper, static_cast<int32_t>(index), &item);
    if (result != ZipResult::Ok) return result;
    if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    result = WriteEntry(unzipper, nullptr, static_cast<uint32_t>(item.uncompressedSize));
    if (result != ZipResult::Ok) return result;
  }
  return ZipResult::Ok;
}

ZipResult CloseArchive(ZipHandle* handle) {
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper;
  CloseReader(unzipper->reader);
  free(unzipper->password);
  free(unzipper->writeBuffer);
  free(unzipper);
  free(handle);
  return ZipResult::Ok;
}

void ArchiveTraits::Close(ZipHandle* handle) { CloseArchive(handle); }

void EnsureFolderPath(const wchar_t* base, const wchar_t* path) {
  wchar_t baseCopy[kZipPathChars];
  size_t baseLength = 0;
  // An empty base adds nothing; joining it with a separator would name the
  // drive's root.
  if (base && !base[0]) base = nullptr;
  if (base) {
    baseCopy[0] = 0;
    // A base that does not fit is not cut: a shortened path names another
    // folder.
    if (!Append(baseCopy, &baseLength, base)) return;
    if (baseLength > 0 && IsSeparator(baseCopy[baseLength - 1])) baseCopy[--baseLength] = 0;
    if (baseLength > 0 && GetFileAttributesW(baseCopy) == INVALID_FILE_ATTRIBUTES) {
      CreateDirectoryW(baseCopy, nullptr);
    }
  }
  if (!path || !path[0]) return;
  // Every prefix ending before a separator (past index 0), shortest first,
  // then the whole path: the parents exist before their children.
  size_t pathLength = wcslen(path);
  for (size_t end = 1; end <= pathLength; ++end) {
    if (end < pathLength && !IsSeparator(path[end])) continue;
    wchar_t joined[kZipPathChars];
    size_t used = 0;
    joined[0] = 0;
    bool fits = true;
    if (base) {
      fits = Append(joined, &used, baseCopy, baseLength);
      if (fits && !IsSeparator(path[0])) fits = Append(joined, &used, L"\\", 1);
    }
    fits = fits && Append(joined, &used, path, end);
    if (!fits) return;
    if (GetFileAttributesW(joined) == INVALID_FILE_ATTRIBUTES) CreateDirectoryW(joined, nullptr);
  }
}

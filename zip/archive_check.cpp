#include "zip/archive_check.h"

#include <stdlib.h>
#include <wchar.h>

#include "zip/extract_item.h"
#include "zip/item_description.h"
#include "zip/item_name.h"

namespace {

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

void Measure(ArchiveFacts::Longest* longest, size_t length, int32_t index) {
  if (length > longest->length || longest->index < 0) *longest = {length, index};
}

// The lengths an item's name sets bounds to.
void MeasureName(ArchiveFacts* facts, const ZipItem& item) {
  size_t length = wcslen(item.name);
  // A folder item's name may end in its separator.
  size_t end = length;
  while (end > 0 && IsZipSeparator(item.name[end - 1])) --end;
  size_t split = end;
  while (split > 0 && !IsZipSeparator(item.name[split - 1])) --split;
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
  bool Add(const ZipItem& item) {
    size_t length = wcslen(item.name);
    while (length > 0 && IsZipSeparator(item.name[length - 1])) --length;
    bool folder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!Reserve(length + 1)) return false;
    wchar_t* name = text_.get() + used_;
    for (size_t i = 0; i < length; ++i) {
      name[i] = IsZipSeparator(item.name[i]) ? kSeparator : item.name[i];
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
    for (size_t i = 0; i < count_; ++i) names_[i].text = text_.get() + names_[i].offset;
    if (count_ > 1) qsort(names_.get(), count_, sizeof(Name), Compare);
    for (size_t i = 1; i < count_; ++i) {
      const Name& a = names_[i - 1];
      const Name& b = names_[i];
      const wchar_t* first = a.text;
      const wchar_t* second = b.text;
      size_t length = wcslen(first);
      if (wcscmp(first, second) == 0) {
        if (!a.folder || !b.folder) return false;
      } else if (!a.folder && wcsncmp(first, second, length) == 0 && second[length] == kSeparator) {
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
    if (count_ == names_.size() && !names_.Resize(count_ ? count_ * 2 : 64)) return false;
    if (used_ + characters > text_.size()) {
      size_t capacity = text_.size() ? text_.size() * 2 : 4096;
      while (capacity < used_ + characters) capacity *= 2;
      if (!text_.Resize(capacity)) return false;
    }
    return true;
  }

  OwnedArray<wchar_t> text_;
  size_t used_ = 0;
  OwnedArray<Name> names_;
  size_t count_ = 0;
};

// The structure alone, before any data is read: names, headers, where each
// item lies, and sizes that can be honest.
ZipResult VerifyStructure(Unzipper* unzipper, ArchiveFacts* facts) {
  ZipReader* reader = unzipper->reader.get();
  uint32_t count = reader->entryCount;
  OwnedArray<Span> spans;
  if (!spans.Allocate(count)) return ZipResult::ReadFailed;
  NameList names;
  for (uint32_t index = 0; index < count; ++index) {
    ZipItem item;
    ZipResult result = DescribeItem(unzipper, static_cast<int32_t>(index), &item);
    if (result != ZipResult::Ok) return result;
    const ZipEntryInfo& info = reader->info;
    // A name that the rules reduce to nothing ("/", "C:") names the target
    // folder itself; only "./" may say so.
    if ((item.name[0] == 0 && !unzipper->namesTargetFolder) ||
        unzipper->spanEnd > reader->dirOffset ||
        (info.method == 8 &&
         info.uncompressedSize / kDeflateMaxRatio > static_cast<uint64_t>(info.compressedSize))) {
      return ZipResult::Corrupt;
    }
    spans[index] = {unzipper->spanStart, unzipper->spanEnd};
    facts->totalSize += info.uncompressedSize;
    if (unzipper->namesTargetFolder) continue;
    MeasureName(facts, item);
    if (!names.Add(item)) return ZipResult::ReadFailed;
  }
  if (!names.Distinct()) return ZipResult::Corrupt;
  if (count > 1) qsort(spans.get(), count, sizeof(Span), CompareSpans);
  // Sorted by start, each item must end before the next begins; a shared
  // local header is the plainest overlap.
  for (uint32_t i = 1; i < count; ++i) {
    if (spans[i].start < spans[i - 1].end) return ZipResult::Corrupt;
  }
  return ZipResult::Ok;
}

// The structure, then, when asked, every item's data read to its end.
ZipResult Verify(ZipHandle* handle, ArchiveFacts* facts, bool readData) {
  ArchiveFacts unused;
  if (!facts) facts = &unused;
  *facts = {0, {0, -1}, {0, -1}, {0, -1}};
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper.get();
  if (!HasWriteBuffer(unzipper)) return ZipResult::ReadFailed;
  ZipResult structure = VerifyStructure(unzipper, facts);
  if (structure != ZipResult::Ok || !readData) return structure;
  for (uint32_t index = 0; index < unzipper->reader->entryCount; ++index) {
    ZipItem item;
    ZipResult result = DescribeItem(unzipper, static_cast<int32_t>(index), &item);
    if (result != ZipResult::Ok) return result;
    if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    result =
        CopyEntryData(unzipper, nullptr, nullptr, static_cast<uint32_t>(item.uncompressedSize));
    if (result != ZipResult::Ok) return result;
  }
  return ZipResult::Ok;
}

}  // namespace

ZipResult VerifyArchive(ZipHandle* handle, ArchiveFacts* facts) {
  return Verify(handle, facts, true);
}

ZipResult VerifyArchiveStructure(ZipHandle* handle, ArchiveFacts* facts) {
  return Verify(handle, facts, false);
}

#include "zip/extract_item.h"

#include <string.h>
#include <wchar.h>

#include "common/ensure_folder.h"
#include "zip/item_description.h"
#include "zip/item_name.h"

namespace {

bool IsAbsolute(const wchar_t* path) {
  return IsZipSeparator(path[0]) || (path[0] && path[1] == L':');
}

// Appends text to buffer (holding used characters); false, with the buffer
// left unterminated past used, when the result would not fit.
bool Append(wchar_t* buffer, size_t* used, const wchar_t* text) {
  size_t count = wcslen(text);
  if (*used + count >= static_cast<size_t>(kZipPathChars)) return false;
  memcpy(buffer + *used, text, count * sizeof(wchar_t));
  *used += count;
  buffer[*used] = 0;
  return true;
}

bool WriteToFile(void* file, const void* data, uint32_t size) {
  DWORD done = 0;
  return WriteFile(static_cast<HANDLE>(file), data, size, &done, nullptr) && done == size;
}

}  // namespace

bool HasWriteBuffer(Unzipper* unzipper) {
  return !unzipper->writeBuffer.empty() || unzipper->writeBuffer.Allocate(kZipBlockSize);
}

ZipResult CopyEntryData(Unzipper* unzipper, ZipWriteSink sink, void* context,
                        uint32_t expectedSize) {
  ZipReader* reader = unzipper->reader.get();
  unsigned char* buffer = unzipper->writeBuffer.get();
  OpenEntry(reader, unzipper->password.get());
  ZipResult result = ZipResult::Ok;
  uint64_t written = 0;
  for (;;) {
    bool atEnd = false;
    int32_t n = ReadEntry(reader, buffer, kZipBlockSize, &atEnd);
    if (n == static_cast<int32_t>(ZipReadStatus::BadPassword)) {
      result = ZipResult::BadPassword;
      break;
    }
    if (n < 0) {
      result = ZipResult::DecompressFailed;
      break;
    }
    if (n > 0) {
      if (sink && !sink(context, buffer, static_cast<uint32_t>(n))) {
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

ZipResult ExtractArchiveItem(ZipHandle* handle, int32_t index, const wchar_t* targetPath) {
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper.get();
  if (index < 0 || static_cast<uint32_t>(index) >= unzipper->reader->entryCount) {
    return ZipResult::BadArgument;
  }
  if (!targetPath) targetPath = L"";
  ZipItem item;
  ZipResult described = DescribeItem(unzipper, index, &item);
  if (described != ZipResult::Ok) return described;
  // The target folder is the caller's to make.
  if (unzipper->namesTargetFolder) return ZipResult::Ok;

  wchar_t fullPath[kZipPathChars];
  size_t used = 0;
  fullPath[0] = 0;
  if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) {
    const wchar_t* base = IsAbsolute(targetPath) ? L"" : unzipper->rootFolder;
    // Failures to make folders are not reported: the items beneath fail.
    if (Append(fullPath, &used, base) && Append(fullPath, &used, targetPath)) {
      MakeFolders(fullPath);
    }
    return ZipResult::Ok;
  }

  // A bare file name lies in the root folder, whatever it looks like.
  bool inFolder = false;
  for (const wchar_t* c = targetPath; *c; ++c) inFolder = inFolder || IsZipSeparator(*c);
  const wchar_t* base = inFolder && IsAbsolute(targetPath) ? L"" : unzipper->rootFolder;
  if (!Append(fullPath, &used, base) || !Append(fullPath, &used, targetPath)) {
    return ZipResult::CannotOpen;
  }
  size_t folderLength = 0;
  for (size_t i = 0; i < used; ++i) {
    if (IsZipSeparator(fullPath[i])) folderLength = i + 1;
  }
  if (wcsncmp(unzipper->madeFolder, fullPath, folderLength) != 0 ||
      unzipper->madeFolder[folderLength] != 0) {
    memcpy(unzipper->madeFolder, fullPath, folderLength * sizeof(wchar_t));
    unzipper->madeFolder[folderLength] = 0;
    if (folderLength > 0) MakeFolders(unzipper->madeFolder);
  }

  if (!HasWriteBuffer(unzipper)) return ZipResult::WriteFailed;
  ScopedHandle file(
      CreateFileW(fullPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, item.attributes, nullptr));
  if (!file) return ZipResult::CannotOpen;
  ZipResult result = CopyEntryData(unzipper, WriteToFile, file.get(),
                                   static_cast<uint32_t>(item.uncompressedSize));
  if (result == ZipResult::Ok) {
    SetFileTime(file.get(), &item.creationTime, &item.accessTime, &item.writeTime);
  }
  return result;
}

ZipResult ExtractArchiveItemTo(ZipHandle* handle, int32_t index, ZipWriteSink sink, void* context) {
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper.get();
  if (!sink || index < 0 || static_cast<uint32_t>(index) >= unzipper->reader->entryCount) {
    return ZipResult::BadArgument;
  }
  ZipItem item;
  ZipResult described = DescribeItem(unzipper, index, &item);
  if (described != ZipResult::Ok) return described;
  if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) return ZipResult::BadArgument;
  if (!HasWriteBuffer(unzipper)) return ZipResult::WriteFailed;
  return CopyEntryData(unzipper, sink, context, static_cast<uint32_t>(item.uncompressedSize));
}

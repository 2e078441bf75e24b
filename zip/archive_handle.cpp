#include "zip/archive_handle.h"

#include <utility>

#include "zip/item_description.h"
#include "zip/item_name.h"

ZipResult CheckHandle(ZipHandle* handle) {
  if (!handle) return ZipResult::BadArgument;
  if (handle->kind != kZipReadingHandle) return ZipResult::WrongHandleKind;
  if (!handle->unzipper || !handle->unzipper->reader) return ZipResult::BadArgument;
  return ZipResult::Ok;
}

ZipHandle* OpenArchiveFile(const wchar_t* path) {
  if (!path) return nullptr;
  Owned<Unzipper> unzipper = Owned<Unzipper>::Make();
  if (!unzipper) return nullptr;
  unzipper->cachedIndex = -1;
  DWORD n = GetCurrentDirectoryW(kZipPathChars - 1, unzipper->rootFolder);
  if (n == 0 || n >= static_cast<DWORD>(kZipPathChars - 1)) {
    // Relative targets then resolve against the current folder at use.
    unzipper->rootFolder[0] = 0;
  } else if (!IsZipSeparator(unzipper->rootFolder[n - 1])) {
    unzipper->rootFolder[n] = L'/';
    unzipper->rootFolder[n + 1] = 0;
  }
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  unzipper->reader = OpenReader(CreateZipSource(std::move(file)));
  if (!unzipper->reader) return nullptr;
  Owned<ZipHandle> handle = Owned<ZipHandle>::Make();
  if (!handle) return nullptr;
  handle->kind = kZipReadingHandle;
  handle->unzipper = std::move(unzipper);
  return handle.Release();
}

ZipResult GetArchiveItem(ZipHandle* handle, int32_t index, ZipItem* item) {
  if (!item) return ZipResult::BadArgument;
  item->index = 0;
  item->name[0] = 0;
  item->uncompressedSize = 0;
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  Unzipper* unzipper = handle->unzipper.get();
  if (index < -1 || (index >= 0 && static_cast<uint32_t>(index) >= unzipper->reader->entryCount)) {
    return ZipResult::BadArgument;
  }
  return DescribeItem(unzipper, index, item);
}

ZipResult CloseArchive(ZipHandle* handle) {
  ZipResult check = CheckHandle(handle);
  if (check != ZipResult::Ok) return check;
  // The reader, its file and the buffers go with the handle.
  Owned<ZipHandle> gone(handle);
  return ZipResult::Ok;
}

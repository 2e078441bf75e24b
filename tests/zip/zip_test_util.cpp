#include "zip_test_util.h"

#include <utility>

#include "support/test_paths.h"

std::wstring FixturePath(const std::wstring& name) {
  return BuildDir() + L"\\zip_fixtures\\" + name;
}

std::string FixtureBytes(const std::wstring& name) { return ReadFileBytes(FixturePath(name)); }

ZipReader* OpenReaderFile(const std::wstring& path) {
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return nullptr;
  return OpenReader(CreateZipSource(std::move(file))).Release();
}

std::string ReadCurrentEntry(ZipReader* reader, uint32_t blockSize, int32_t* status, bool* atEnd) {
  std::string out;
  std::vector<char> buffer(blockSize);
  *status = 0;
  *atEnd = false;
  for (int guard = 0; guard < 1000000; ++guard) {
    int32_t n = ReadEntry(reader, buffer.data(), blockSize, atEnd);
    if (n < 0) {
      *status = n;
      break;
    }
    out.append(buffer.data(), static_cast<size_t>(n));
    if (*atEnd || n == 0) break;
  }
  return out;
}

std::vector<ItemInfo> DescribeAll(ZipHandle* handle) {
  std::vector<ItemInfo> items;
  ZipItem count{};
  if (GetArchiveItem(handle, -1, &count) != ZipResult::Ok) return items;
  for (int i = 0; i < count.index; ++i) {
    ItemInfo info;
    info.result = GetArchiveItem(handle, i, &info.item);
    info.name = info.item.name;
    items.push_back(info);
  }
  return items;
}

uint64_t FileTimeValue(const FILETIME& t) {
  return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

uint64_t UnixToFileTime(int64_t t) {
  return static_cast<uint64_t>(t * 10000000 + 116444736000000000ll);
}

bool GetTimes(const std::wstring& path, uint64_t* creation, uint64_t* access, uint64_t* write) {
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME c, a, w;
  bool ok = GetFileTime(file, &c, &a, &w) != 0;
  CloseHandle(file);
  *creation = FileTimeValue(c);
  *access = FileTimeValue(a);
  *write = FileTimeValue(w);
  return ok;
}

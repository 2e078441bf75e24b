#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zip/unzipper.h"
#include "zip/zip_reader.h"

// Windows path of an archive (or a source file) that the fixture script made.
std::wstring FixturePath(const std::wstring& name);
std::string FixtureBytes(const std::wstring& name);

// A reader over a file, or null; CloseReader releases it.
ZipReader* OpenReaderFile(const std::wstring& path);
// The whole current entry through ReadEntry in blocks of blockSize; status is
// the last ReadEntry result when negative, else 0, and atEnd its flag.
std::string ReadCurrentEntry(ZipReader* reader, uint32_t blockSize, int32_t* status, bool* atEnd);

struct ItemInfo {
  ZipResult result;
  std::wstring name;
  ZipItem item;
};
std::vector<ItemInfo> DescribeAll(ZipHandle* handle);

uint64_t FileTimeValue(const FILETIME& t);
uint64_t UnixToFileTime(int64_t t);
// Creation, access and write times of a file on disk.
bool GetTimes(const std::wstring& path, uint64_t* creation, uint64_t* access, uint64_t* write);

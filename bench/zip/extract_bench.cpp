// Extraction throughput of a package through OpenArchiveFile and
// ExtractArchiveItem, against references in the same process image:
//   extract_bench product PACKAGE FOLDER  the installer's extraction
//   extract_bench bare PACKAGE FOLDER     a bare inflate-and-write loop over
//                                         the archive held in memory
//   extract_bench memory PACKAGE          zlib's inflate of every entry into
//                                         memory, nothing written
//   extract_bench idle                    nothing (for the working set)
// Prints "<mode> <milliseconds> <bytes out> <peak working set bytes>".
#include <windows.h>

#include "support/clock.h"
#include <psapi.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zip/unzipper.h"

namespace {

double Now() { return MillisecondsNow(); }

uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const unsigned char* p) { return U16(p) | (U16(p + 2) << 16); }

std::vector<unsigned char> ReadWhole(const wchar_t* path) {
  std::vector<unsigned char> data;
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  data.resize(GetFileSize(file, nullptr));
  DWORD got = 0;
  ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
  CloseHandle(file);
  data.resize(got);
  return data;
}

struct Entry {
  std::wstring name;
  uint32_t method, compressedSize, uncompressedSize, dataOffset;
};

// The central directory of a plain archive made by zip (no stub, no ZIP64).
std::vector<Entry> Entries(const std::vector<unsigned char>& zip) {
  std::vector<Entry> entries;
  size_t end = zip.size() - 22;
  while (end > 0 && U32(&zip[end]) != 0x06054B50) --end;
  uint32_t count = U16(&zip[end + 10]), pos = U32(&zip[end + 16]);
  for (uint32_t i = 0; i < count; ++i) {
    const unsigned char* h = &zip[pos];
    Entry e;
    e.method = U16(h + 10);
    e.compressedSize = U32(h + 20);
    e.uncompressedSize = U32(h + 24);
    uint32_t nameLength = U16(h + 28);
    e.name.assign(h + 46, h + 46 + nameLength);
    uint32_t local = U32(h + 42);
    e.dataOffset = local + 30 + U16(&zip[local + 26]) + U16(&zip[local + 28]);
    entries.push_back(e);
    pos += 46 + nameLength + U16(h + 30) + U16(h + 32);
  }
  return entries;
}

// Inflates one entry in 16 KiB output blocks; sink receives each block.
template <typename Sink>
bool Inflate(const std::vector<unsigned char>& zip, const Entry& e, unsigned char* block,
             Sink sink) {
  if (e.method == 0) {
    for (uint32_t done = 0; done < e.uncompressedSize; done += 16384) {
      uint32_t n = e.uncompressedSize - done < 16384 ? e.uncompressedSize - done : 16384;
      if (!sink(&zip[e.dataOffset + done], n)) return false;
    }
    return true;
  }
  z_stream z = {};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(&zip[e.dataOffset]);
  z.avail_in = e.compressedSize;
  int err = Z_OK;
  while (err == Z_OK) {
    z.next_out = block;
    z.avail_out = 16384;
    err = inflate(&z, Z_NO_FLUSH);
    if (!sink(block, 16384 - z.avail_out)) err = Z_ERRNO;
  }
  inflateEnd(&z);
  return err == Z_STREAM_END;
}

uint64_t Product(const wchar_t* package, const std::wstring& folder) {
  uint64_t bytes = 0;
  ZipHandle* archive = OpenArchiveFile(package);
  if (!archive) return 0;
  ZipItem item;
  GetArchiveItem(archive, -1, &item);
  int count = item.index;
  for (int i = 0; i < count; ++i) {
    if (GetArchiveItem(archive, i, &item) != 0) return 0;
    std::wstring target = folder + L"\\" + item.name;
    if (ExtractArchiveItem(archive, i, target.c_str()) != 0) return 0;
    bytes += static_cast<uint32_t>(item.uncompressedSize);
  }
  CloseArchive(archive);
  return bytes;
}

uint64_t Bare(const std::vector<unsigned char>& zip, const std::wstring& folder) {
  uint64_t bytes = 0;
  unsigned char block[16384];
  CreateDirectoryW(folder.c_str(), nullptr);
  for (const Entry& e : Entries(zip)) {
    std::wstring path = folder + L"\\" + e.name;
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    if (path.back() == L'\\') {
      CreateDirectoryW(path.c_str(), nullptr);
      continue;
    }
    for (size_t i = folder.size() + 1; i < path.size(); ++i) {
      if (path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    bool ok = Inflate(zip, e, block, [&](const unsigned char* p, uint32_t n) {
      DWORD done;
      return WriteFile(file, p, n, &done, nullptr) && done == n;
    });
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    SetFileTime(file, &t, &t, &t);
    CloseHandle(file);
    if (!ok) return 0;
    bytes += e.uncompressedSize;
  }
  return bytes;
}

uint64_t Memory(const std::vector<unsigned char>& zip) {
  uint64_t bytes = 0;
  unsigned char block[16384];
  uint32_t crc = 0;
  for (const Entry& e : Entries(zip)) {
    if (!Inflate(zip, e, block, [&](const unsigned char* p, uint32_t n) {
          crc = crc32(crc, p, n);
          return true;
        })) {
      return 0;
    }
    bytes += e.uncompressedSize;
  }
  return crc ? bytes : bytes;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  std::wstring mode = argv[1];
  uint64_t bytes = 0;
  double start = 0, elapsed = 0;
  if (mode == L"product" && argc == 4) {
    start = Now();
    bytes = Product(argv[2], argv[3]);
    elapsed = Now() - start;
  } else if ((mode == L"bare" && argc == 4) || (mode == L"memory" && argc == 3)) {
    std::vector<unsigned char> zip = ReadWhole(argv[2]);
    start = Now();
    bytes = mode == L"bare" ? Bare(zip, argv[3]) : Memory(zip);
    elapsed = Now() - start;
  } else if (mode != L"idle") {
    return 2;
  }
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  wprintf(L"%ls %.1f %llu %lu\n", mode.c_str(), elapsed, static_cast<unsigned long long>(bytes),
          static_cast<unsigned long>(memory.PeakWorkingSetSize));
  return mode != L"idle" && bytes == 0 ? 1 : 0;
}

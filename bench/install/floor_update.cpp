// The platform's floor for a whole update: what any program under this Wine
// must do to fetch the manifest and the package from the update server and
// lay the package out, with nothing else. WinInet with the setup's 4,096-byte
// reads for both files, the package written to FOLDER\download\p.zip, then
// zlib extraction into FOLDER with buffered reads (the central directory in
// one read, each local header in one, data in 64 KB blocks), every folder
// made once, file times set. No checks, no progress, no window.
// With BACKUP (a folder relative to FOLDER, e.g. Update\Backup1.2.3), the
// floor for an update over a full installation: before each file is
// extracted, what lies at its target is moved into BACKUP, flat under its
// last name, or name.1.ext, name.2.ext when that is taken (one MoveFileExW
// per file when nothing is taken).
//   floor_update FOLDER [BACKUP]
// Exits 0 when every item was written; writes FOLDER\phases.txt,
// "floor <ms> <ms> <ms> <peak> <start> <ms>": the manifest (with the
// session's first connection), the package, the extraction (with the
// moves), its peak working set and that at its start, in bytes, and the
// time in the moves alone.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>
#include <zlib.h>

#include <stdio.h>

#include <set>
#include <string>
#include <vector>

#include "common/update_server.h"
#include "support/clock.h"

namespace {

constexpr DWORD kUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;

uint32_t U16(const unsigned char* p) { return p[0] | (p[1] << 8); }
uint32_t U32(const unsigned char* p) { return U16(p) | (U16(p + 2) << 16); }

// Reads the URL in 4,096-byte reads, writing them to file unless it is null.
bool Fetch(HINTERNET session, const wchar_t* url, HANDLE file) {
  HINTERNET request = InternetOpenUrlW(session, url, nullptr, 0, kUrlFlags, 1);
  if (!request) return false;
  char buffer[4096];
  DWORD count = 1, written = 0;
  bool ok = true;
  while (ok && InternetReadFile(request, buffer, sizeof buffer, &count) && count) {
    ok = !file || (WriteFile(file, buffer, count, &written, nullptr) && written == count);
  }
  InternetCloseHandle(request);
  return ok;
}

bool ReadAt(HANDLE file, uint32_t offset, void* buffer, uint32_t size) {
  DWORD got = 0;
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != 0xFFFFFFFFu &&
         ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

void MakeFolders(std::set<std::wstring>* made, const std::wstring& path) {
  for (size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1)) {
    std::wstring folder = path.substr(0, i);
    if (made->insert(folder).second) CreateDirectoryW(folder.c_str(), nullptr);
  }
}

// Inflates (or copies) one entry's data from the archive into out.
bool CopyData(HANDLE zip, uint32_t offset, uint32_t size, bool deflated, HANDLE out) {
  static unsigned char in[65536], block[65536];
  z_stream z = {};
  if (deflated && inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  bool ok = SetFilePointer(zip, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != 0xFFFFFFFFu;
  int err = Z_OK;
  DWORD got = 0, written = 0;
  while (ok && size > 0 && err != Z_STREAM_END) {
    DWORD want = size < sizeof in ? size : sizeof in;
    ok = ReadFile(zip, in, want, &got, nullptr) && got == want;
    size -= want;
    if (!deflated) {
      ok = ok && WriteFile(out, in, want, &written, nullptr);
      continue;
    }
    z.next_in = in;
    z.avail_in = want;
    while (ok && z.avail_in > 0 && err != Z_STREAM_END) {
      z.next_out = block;
      z.avail_out = sizeof block;
      err = inflate(&z, Z_NO_FLUSH);
      ok = (err == Z_OK || err == Z_STREAM_END) &&
           WriteFile(out, block, sizeof block - z.avail_out, &written, nullptr);
    }
  }
  if (deflated) inflateEnd(&z);
  return ok;
}

double gMoveMilliseconds = 0;

// Moves the file at path into backup (with its trailing separator); true
// also when there is none. The move's own failure tells that a name is
// taken: no look-up first.
bool MoveToBackup(const std::wstring& path, const std::wstring& backup) {
  double start = MillisecondsNow();
  std::wstring name = path.substr(path.rfind(L'\\') + 1);
  size_t dot = name.rfind(L'.');
  size_t stem = dot != std::wstring::npos && dot > 0 ? dot : name.size();
  bool ok = false;
  for (int n = 0; n < 10000; ++n) {
    std::wstring to = backup;
    to += n == 0 ? name : name.substr(0, stem) + L"." + std::to_wstring(n) + name.substr(stem);
    if (MoveFileExW(path.c_str(), to.c_str(), 0)) {
      ok = true;
      break;
    }
    DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
    ok = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    break;
  }
  gMoveMilliseconds += MillisecondsNow() - start;
  return ok;
}

// backup: empty, or the backup folder with its trailing separator.
bool Extract(const std::wstring& package, const std::wstring& folder, const std::wstring& backup) {
  HANDLE zip = CreateFileW(package.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
  if (zip == INVALID_HANDLE_VALUE) return false;
  // A plain archive made by zip: the end record is the last 22 bytes.
  DWORD size = GetFileSize(zip, nullptr);
  unsigned char end[22];
  if (size < 22 || !ReadAt(zip, size - 22, end, 22)) return false;
  std::vector<unsigned char> dir(U32(end + 12));
  if (!ReadAt(zip, U32(end + 16), dir.data(), static_cast<DWORD>(dir.size()))) return false;
  std::set<std::wstring> made;
  bool ok = true;
  for (size_t at = 0; ok && at + 46 <= dir.size();) {
    const unsigned char* h = dir.data() + at;
    uint32_t nameLength = U16(h + 28);
    std::string raw(reinterpret_cast<const char*>(h + 46), nameLength);
    wchar_t name[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, raw.c_str(), -1, name, MAX_PATH);
    std::wstring path = folder + L"\\" + name;
    for (wchar_t& c : path) {
      if (c == L'/') c = L'\\';
    }
    MakeFolders(&made, path);
    if (path.back() != L'\\') {
      unsigned char local[30];
      uint32_t offset = U32(h + 42);
      ok = ReadAt(zip, offset, local, 30) && (backup.empty() || MoveToBackup(path, backup));
      HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_ARCHIVE, nullptr);
      ok = ok && out != INVALID_HANDLE_VALUE &&
           CopyData(zip, offset + 30 + U16(local + 26) + U16(local + 28), U32(h + 20),
                    U16(h + 10) == 8, out);
      FILETIME local_time, utc;
      DosDateTimeToFileTime(static_cast<WORD>(U16(h + 14)), static_cast<WORD>(U16(h + 12)),
                            &local_time);
      LocalFileTimeToFileTime(&local_time, &utc);
      if (ok) SetFileTime(out, &utc, &utc, &utc);
      if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    }
    at += 46 + nameLength + U16(h + 30) + U16(h + 32);
  }
  CloseHandle(zip);
  return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) return 2;
  std::wstring folder = argv[1];
  std::wstring backup;
  if (argc == 3) {
    backup = folder + L"\\" + argv[2] + L"\\";
    std::set<std::wstring> made;
    MakeFolders(&made, backup);
  }
  std::wstring package = folder + L"\\download\\p.zip";
  CreateDirectoryW((folder + L"\\download").c_str(), nullptr);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  SIZE_T startWorkingSet = memory.WorkingSetSize;
  double start = MillisecondsNow();
  HINTERNET session = InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  bool ok = session && Fetch(session, kManifestUrl, nullptr);
  double fetched = MillisecondsNow();
  HANDLE file = CreateFileW(package.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ok = ok && file != INVALID_HANDLE_VALUE && Fetch(session, kPackageUrl, file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (session) InternetCloseHandle(session);
  double downloaded = MillisecondsNow();
  ok = ok && Extract(package, folder, backup);
  double end = MillisecondsNow();
  // Into the folder: the timing script reads no output of a program it
  // times, since the setup it compares with starts a program that would
  // hold the output open.
  FILE* phases = _wfopen((folder + L"\\phases.txt").c_str(), L"w");
  if (phases) {
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    fprintf(phases, "floor %.1f %.1f %.1f %lu %lu %.1f\n", fetched - start, downloaded - fetched,
            end - downloaded, static_cast<unsigned long>(memory.PeakWorkingSetSize),
            static_cast<unsigned long>(startWorkingSet), gMoveMilliseconds);
    fclose(phases);
  }
  return ok ? 0 : 1;
}

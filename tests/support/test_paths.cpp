#include "support/test_paths.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

std::wstring BuildDir() {
  const wchar_t* unixPath = _wgetenv(L"QUELDA_BIN_DIR");
  if (!unixPath || !*unixPath) return L".";
  std::wstring path = unixPath;
  for (auto& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring SetupExePath() { return BuildDir() + L"\\QueldaSetup.exe"; }
std::wstring KeyedSetupExePath() { return BuildDir() + L"\\keyed\\QueldaSetup.exe"; }

std::wstring TestAppPath(const std::wstring& tag) {
  return BuildDir() + L"\\test_apps\\" + tag + L"\\Quelda.exe";
}

namespace {

void ListInto(const std::wstring& root, const std::wstring& relative, bool deep,
              std::vector<std::wstring>* paths) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((root + relative + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      paths->push_back(relative + L"\\" + name + L"\\");
      if (deep) ListInto(root, relative + L"\\" + name, deep, paths);
    } else {
      paths->push_back(relative + L"\\" + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

std::vector<std::wstring> ListTree(const std::wstring& folder, bool deep) {
  std::vector<std::wstring> paths;
  ListInto(folder, L"", deep, &paths);
  return paths;
}

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  // Read-only, hidden and system files go too.
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  for (std::wstring child : ListTree(path, /*deep=*/false)) {
    if (child.back() == L'\\') child.pop_back();
    RemoveTree(path + child);
  }
  RemoveDirectoryW(path.c_str());
}

std::wstring MakeScratchDir(const std::wstring& name, const std::wstring& under) {
  std::wstring root = under;
  if (root.empty()) {
    wchar_t cwd[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, cwd);
    root = std::wstring(cwd) + L"\\scratch";
  }
  CreateDirectoryW(root.c_str(), nullptr);
  std::wstring dir = root + L"\\" + name;
  RemoveTree(dir);
  // A file that a program of an earlier test still holds can keep the old
  // folder from going: then a folder of a new name, never a stale one.
  for (int n = 2; !CreateDirectoryW(dir.c_str(), nullptr) && n < 100; ++n) {
    dir = root + L"\\" + name + L"_" + std::to_wstring(n);
    RemoveTree(dir);
  }
  return dir;
}

bool CopyFileTo(const std::wstring& from, const std::wstring& to) {
  return CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

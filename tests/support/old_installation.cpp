#include "support/old_installation.h"

#include <windows.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include "common/scoped.h"
#include "support/test_paths.h"

const wchar_t* const kReplacedByUpdate[9] = {
    L"\\Quelda.exe",         L"\\readme.txt",        L"\\data\\a.txt",
    L"\\data\\b.txt",        L"\\data\\c.txt",       L"\\data\\d.txt",
    L"\\lib\\x\\config.ini", L"\\docs\\manual.html", L"\\plugins"};

Tree Snapshot(const std::wstring& folder, bool own) {
  auto starts = [](const std::wstring& path, const std::wstring& start) {
    return path.compare(0, start.size(), start) == 0;
  };
  Tree tree;
  for (const std::wstring& path : ListTree(folder)) {
    if (starts(path, L"\\download\\")) continue;
    if (!own &&
        (starts(path, L"\\Update\\Incoming") || starts(path, L"\\Update\\Update.journal"))) {
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    GetFileAttributesExW((folder + path).c_str(), GetFileExInfoStandard, &data);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      tree[path] = "folder";
      continue;
    }
    // The demo database is dated by its download, in its place and, after
    // a second run, in that run's backup folder.
    bool downloaded = path == L"\\Quelda.mdb" || path == L"\\Update\\Backup2.0\\Quelda.mdb";
    char facts[64];
    snprintf(facts, sizeof facts, "|%lx|%lx%08lx", data.dwFileAttributes,
             downloaded ? 0 : data.ftLastWriteTime.dwHighDateTime,
             downloaded ? 0 : data.ftLastWriteTime.dwLowDateTime);
    tree[path] = ReadFileBytes(folder + path) + facts;
  }
  return tree;
}

std::string Differences(const Tree& a, const Tree& b) {
  std::string text;
  for (const auto& entry : a) {
    auto other = b.find(entry.first);
    if (other == b.end() || other->second != entry.second)
      text += " " + std::string(entry.first.begin(), entry.first.end());
  }
  for (const auto& entry : b) {
    if (!a.count(entry.first)) text += " +" + std::string(entry.first.begin(), entry.first.end());
  }
  return text;
}

void WriteDated(const std::wstring& path, const std::string& text) {
  ASSERT_TRUE(WriteFileBytes(path, text)) << std::string(path.begin(), path.end());
  ScopedHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME time = {0xD53E8000u, 0x01DA3C3Au};  // 2024-01-01
  ASSERT_TRUE(file && SetFileTime(file.get(), &time, &time, &time));
}

void MakeOldInstallation(const std::wstring& folder) {
  ASSERT_TRUE(CopyFileTo(TestAppPath(L"1.2.3.0"), folder + L"\\Quelda.exe"));
  for (const wchar_t* folderName : {L"\\data", L"\\lib", L"\\lib\\x", L"\\docs"})
    ASSERT_TRUE(CreateDirectoryW((folder + folderName).c_str(), nullptr));
  WriteDated(folder + L"\\readme.txt", "old readme");
  for (const wchar_t* name : {L"a", L"b", L"c", L"d"})
    WriteDated(folder + L"\\data\\" + name + L".txt", "old data");
  WriteDated(folder + L"\\data\\old_only.txt", "only in 1.2.3");
  WriteDated(folder + L"\\lib\\x\\config.ini", "[x]\r\nedited=by the user\r\n");
  WriteDated(folder + L"\\docs\\manual.html", "old manual");
  WriteDated(folder + L"\\plugins", "a file where 2.0 has a folder");
  WriteDated(folder + L"\\keep.txt", "the user's own, not in the package");
  WriteDated(folder + L"\\Quelda.mdb", "the user's database");
  SetFileAttributesW((folder + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY);
}

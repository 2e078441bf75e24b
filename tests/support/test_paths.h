#pragma once

#include <string>
#include <vector>

// Windows path of the build folder (QUELDA_BIN_DIR, a Unix path, seen
// through Wine's Z: drive), without a trailing backslash.
std::wstring BuildDir();
std::wstring SetupExePath();
// The setup built with the tests' first and second update keys.
std::wstring KeyedSetupExePath();
// Quelda.exe stand-in with the given version tag ("1.2.3.0", ...).
std::wstring TestAppPath(const std::wstring& tag);

// A fresh, empty folder for one test under the test's working folder, or
// under root when given (a drive of its own, say).
std::wstring MakeScratchDir(const std::wstring& name, const std::wstring& root = L"");
// What lies below the folder, as relative paths ("\\data\\a.txt"), a folder
// with a trailing backslash and before what it holds; with deep false only
// what lies directly in it.
std::vector<std::wstring> ListTree(const std::wstring& folder, bool deep = true);
// Deletes the file or folder with everything in it, read-only files too.
void RemoveTree(const std::wstring& path);
bool CopyFileTo(const std::wstring& from, const std::wstring& to);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

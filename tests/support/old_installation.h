#pragma once

#include <map>
#include <string>

// An installation of 1.2.3.0 as its user left it, and the means to tell
// whether a folder is exactly as it was.

// Path below the folder ("\\data\\a.txt") to what is known of it: a file's
// bytes, attributes and time of last write, or "folder".
using Tree = std::map<std::wstring, std::string>;

// Everything under the folder but the downloaded package. Without own, the
// setup's own names (its journal, its staged files) are left out too.
Tree Snapshot(const std::wstring& folder, bool own = true);
// The paths where two trees differ, for a failure's message.
std::string Differences(const Tree& a, const Tree& b);

// Writes the file and dates it at a fixed time, so that every fresh
// installation is the same.
void WriteDated(const std::wstring& path, const std::string& text);

// 1.2.3.0 (the stand-in Quelda.exe) with files that the fault package of
// 2.0.0.0 replaces (one edited by the user, one read-only), files of the
// old version and of the user's alone, the user's database, and a file
// where 2.0 has a folder.
void MakeOldInstallation(const std::wstring& folder);
// Where the update puts those it replaces: Update\Backup1.2.3\<name> for
// each of these paths of the old installation.
extern const wchar_t* const kReplacedByUpdate[9];

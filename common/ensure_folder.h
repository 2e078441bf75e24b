#pragma once

// Makes one folder; true when it did.
using FolderMaker = bool (*)(const wchar_t* path);

// Creates the missing folders of the path; a last component holding a dot
// is taken for a file name. True when the folder exists afterwards. A path
// of more than 259 characters is refused (false). Each folder is made by
// make, or by CreateDirectoryW when none is given.
bool EnsureFolder(const wchar_t* path, FolderMaker make = nullptr);

// Creates every missing folder of a folder path, top down, past its drive
// or share prefix; either separator. True when the whole folder exists
// afterwards. A path of more than 259 characters (a trailing separator
// aside) is refused (false): nothing is made.
bool MakeFolders(const wchar_t* folderPath, FolderMaker make = nullptr);

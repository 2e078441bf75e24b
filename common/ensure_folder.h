#pragma once

// Creates the missing folders of the path; a last component holding a dot
// is taken for a file name. True when the folder exists afterwards. A path
// of more than 259 characters is refused (false).
bool EnsureFolder(const wchar_t* path);

// Creates every missing folder of a folder path, top down, past its drive
// or share prefix; either separator. True when the whole folder exists
// afterwards. A path of more than 259 characters (a trailing separator
// aside) is refused (false): nothing is made.
bool MakeFolders(const wchar_t* folderPath);

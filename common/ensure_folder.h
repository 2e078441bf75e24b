#pragma once

// Creates the missing folders of the path; a last component holding a dot
// is taken for a file name. True when the folder exists afterwards. A path
// of more than 259 characters is refused (false).
bool EnsureFolder(const wchar_t* path);

#pragma once

#include <stddef.h>
#include <wchar.h>

// The rules that turn an item's stored name into a path relative to the
// target folder.

inline bool IsZipSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Drive prefixes, leading separators and everything up to a "..\" segment are
// dropped, and so is every "." component ("./a/./b.txt" is "a/b.txt"). False
// when what remains could still lead outside the target folder or name a
// device.
bool MakeSafeName(const wchar_t* name, wchar_t* safe, size_t safeSize);

// A name of "." components only ("./", "."), as tar tools write the folder
// they were started in: it names the target folder itself.
bool NamesCurrentFolder(const wchar_t* name);

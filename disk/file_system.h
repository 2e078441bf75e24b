#pragma once

#include <windows.h>
#include <objidl.h>

#include "common/scoped.h"

// The installation's file-system calls: each says whether it succeeded,
// with the thread's last error set when it did not, and each passes the
// fault point first. Moves stay on one volume: they are renames.

// Renames, never over an existing file (MoveFileExW without replacing).
bool FsMove(const wchar_t* from, const wchar_t* to);
// Puts a whole file in place over one of that name, also onto another
// drive (copied then), written through before it returns.
bool FsReplaceFile(const wchar_t* from, const wchar_t* to);
bool FsDelete(const wchar_t* path);
bool FsMakeFolder(const wchar_t* path);
// A new folder with the access list that the SDDL text describes.
bool FsMakeFolderWithAccess(const wchar_t* path, const wchar_t* sddl);
bool FsRemoveFolder(const wchar_t* path);
// The missing folders of a path (a last component holding a dot is a
// file's name), each made by FsMakeFolder; true when the folder exists.
bool FsEnsureFolder(const wchar_t* path);
// A new file for writing, replacing one of that name.
ScopedHandle FsCreateFile(const wchar_t* path, DWORD attributes);
// Appends to an existing file (or makes it).
ScopedHandle FsAppendFile(const wchar_t* path);
bool FsWrite(HANDLE file, const void* data, DWORD size);
bool FsFlush(HANDLE file);
// Writes through a whole file that was written elsewhere.
bool FsFlushFile(const wchar_t* path);
// A shell link saved to path.
bool FsSaveLink(IPersistFile* link, const wchar_t* path);
bool FsSetAttributes(const wchar_t* path, DWORD attributes);
bool FsSetTimes(HANDLE file, const FILETIME* creation, const FILETIME* access,
                const FILETIME* write);
// Opens the file or folder the way a rename of it will need it (delete
// access, other openers' sharing as they allow): fails, with error 32, while
// another program holds it so that it cannot be moved.
bool FsCanMove(const wchar_t* path);

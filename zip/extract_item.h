#pragma once

#include <windows.h>
#include <stdint.h>

#include "zip/archive_handle.h"

// Writes the item to targetPath (a folder item: makes the folder), with its
// attributes and times; missing folders on the way are made.
ZipResult ExtractArchiveItem(ZipHandle* handle, int32_t index, const wchar_t* targetPath);

// Inside the zip layer. The block buffer of entry reads, made at the first
// use.
bool HasWriteBuffer(Unzipper* unzipper);
// Reads the current entry to its end, writing it to file unless that is
// null, and checks its length and CRC.
ZipResult CopyEntryData(Unzipper* unzipper, HANDLE file, uint32_t expectedSize);

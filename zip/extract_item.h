#pragma once

#include <windows.h>
#include <stdint.h>

#include "zip/archive_handle.h"

// Writes the item to targetPath (a folder item: makes the folder), with its
// attributes and times; missing folders on the way are made.
ZipResult ExtractArchiveItem(ZipHandle* handle, int32_t index, const wchar_t* targetPath);

// Where an item's data goes, block by block: false stops the extraction
// (WriteFailed), with the sink's own account of why.
using ZipWriteSink = bool (*)(void* context, const void* data, uint32_t size);

// Reads a file item's data to its end into the sink, checking its length
// and CRC; the caller makes, names and dates the file. A folder item gives
// BadArgument.
ZipResult ExtractArchiveItemTo(ZipHandle* handle, int32_t index, ZipWriteSink sink, void* context);

// Inside the zip layer. The block buffer of entry reads, made at the first
// use.
bool HasWriteBuffer(Unzipper* unzipper);
// Reads the current entry to its end, writing it to the sink unless that is
// null, and checks its length and CRC.
ZipResult CopyEntryData(Unzipper* unzipper, ZipWriteSink sink, void* context,
                        uint32_t expectedSize);

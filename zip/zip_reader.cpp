#include "zip/zip_reader.h"

#include <string.h>

#include <utility>

namespace {

constexpr uint32_t kEndRecordSearchWindow = 65535;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint32_t kCentralHeaderSize = 46;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kEncryptionHeaderSize = 12;

// Little-endian field of width bytes, one read call per byte.
bool ReadField(ZipSource* source, int width, uint32_t* value) {
  uint32_t result = 0;
  for (int i = 0; i < width; ++i) {
    unsigned char byte;
    if (!ReadSource(source, &byte, 1)) return false;
    result |= static_cast<uint32_t>(byte) << (8 * i);
  }
  *value = result;
  return true;
}

// The traditional PKWARE cipher steps its keys with the bare CRC-32 table
// step (no pre- or post-inversion), so zlib's table is used directly.
uint32_t CrcStep(const z_crc_t* table, uint32_t crc, unsigned char byte) {
  return static_cast<uint32_t>(table[(crc ^ byte) & 0xFF]) ^ (crc >> 8);
}

void UpdateKeys(const z_crc_t* table, uint32_t* keys, unsigned char plain) {
  keys[0] = CrcStep(table, keys[0], plain);
  keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813u + 1;
  keys[2] = CrcStep(table, keys[2], static_cast<unsigned char>(keys[1] >> 24));
}

unsigned char DecryptByte(uint32_t* keys, const z_crc_t* table, unsigned char cipher) {
  uint32_t temp = (keys[2] | 2) & 0xFFFF;
  unsigned char plain = cipher ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8);
  UpdateKeys(table, keys, plain);
  return plain;
}

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }

}  // namespace

Owned<ZipSource> CreateZipSource(ScopedHandle handle) {
  Owned<ZipSource> source = Owned<ZipSource>::Make();
  if (!source) return source;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = SetFilePointer(handle.get(), 0, &high, FILE_CURRENT);
  source->handle = std::move(handle);
  source->canSeek = !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
  // Archive positions are 32-bit; a start beyond 4 GB cannot be addressed.
  if (source->canSeek && high != 0) source->canSeek = false;
  source->initialOffset = source->canSeek ? low : 0;
  source->position = source->initialOffset;
  return source;
}

Owned<ZipSource> CreateTailSource(const unsigned char* tail, uint32_t size,
                                  uint32_t archiveSize) {
  Owned<ZipSource> source = Owned<ZipSource>::Make();
  if (!source || size > archiveSize) return Owned<ZipSource>();
  source->canSeek = true;
  source->tail = tail;
  source->tailSize = size;
  source->archiveSize = archiveSize;
  return source;
}

bool SeekSource(ZipSource* source, uint64_t position) {
  if (!source->canSeek) return false;
  // The file pointer moves at the next read that goes to the file.
  source->position = position + source->initialOffset;
  return true;
}

namespace {

// Reads up to size bytes at the source's position from the file itself.
bool ReadFromFile(ZipSource* source, void* buffer, uint32_t size, DWORD* got) {
  *got = 0;
  if (source->tail) {
    uint64_t start = source->archiveSize - source->tailSize;
    if (source->position < start || source->position > source->archiveSize) {
      source->readError = true;
      return false;
    }
    uint64_t left = source->archiveSize - source->position;
    *got = static_cast<DWORD>(size < left ? size : left);
    memcpy(buffer, source->tail + (source->position - start), *got);
    return true;
  }
  if (source->canSeek) {
    LONG high = static_cast<LONG>(source->position >> 32);
    SetLastError(NO_ERROR);
    DWORD low = SetFilePointer(
        source->handle.get(), static_cast<LONG>(source->position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
  }
  if (!ReadFile(source->handle.get(), buffer, size, got, nullptr)) {
    source->readError = true;
    return false;
  }
  return true;
}

}  // namespace

bool ReadSource(ZipSource* source, void* buffer, uint32_t size) {
  uint64_t offset = source->position - source->windowStart;
  bool inWindow = source->canSeek && source->position >= source->windowStart &&
                  offset + size <= source->windowLength;
  if (!inWindow && source->canSeek && size <= kZipWindowSize / 2) {
    DWORD got = 0;
    source->windowLength = 0;
    if (!ReadFromFile(source, source->window, kZipWindowSize, &got)) return false;
    source->windowStart = source->position;
    source->windowLength = got;
    offset = 0;
    // Short of the end of the file: the read fails, as the file's would.
    if (size > got) return false;
    inWindow = true;
  }
  if (inWindow) {
    memcpy(buffer, source->window + offset, size);
    source->position += size;
    return true;
  }
  DWORD got = 0;
  if (!ReadFromFile(source, buffer, size, &got)) return false;
  source->position += got;
  return got == size;
}

uint32_t LocateEndRecord(ZipSource* source) {
  if (!source || !source->canSeek) return kZipNoPosition;
  LONG high = 0;
  SetLastError(NO_ERROR);
  DWORD low = source->tail ? source->archiveSize
                           : SetFilePointer(source->handle.get(), 0, &high, FILE_END);
  if (!source->tail && low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    return kZipNoPosition;
  }
  uint64_t end = (static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | low;
  if (end < source->initialOffset || end - source->initialOffset > 0xFFFFFFFFu) {
    return kZipNoPosition;
  }
  uint32_t size = static_cast<uint32_t>(end - source->initialOffset);
  // A tail holds no more to search.
  uint32_t window = Min(kEndRecordSearchWindow, source->tail ? source->tailSize : size);
  OwnedArray<unsigned char> block;
  if (!block.Allocate(kZipBlockSize + 4)) return kZipNoPosition;
  uint32_t found = kZipNoPosition;
  uint32_t back = 4;
  while (back < window && found == kZipNoPosition) {
    back = Min(back + kZipBlockSize, window);
    uint32_t start = size - back;
    uint32_t length = Min(kZipBlockSize + 4, back);
    if (!SeekSource(source, start) || !ReadSource(source, block.get(), length)) break;
    for (uint32_t i = length - 4 + 1; i-- > 0;) {
      if (block[i] == 0x50 && block[i + 1] == 0x4B && block[i + 2] == 0x05 &&
          block[i + 3] == 0x06) {
        found = start + i;
        break;
      }
    }
  }
  return found;
}

Owned<ZipReader> OpenReader(Owned<ZipSource> owned) {
  Owned<ZipReader> reader;
  ZipSource* source = owned.get();
  if (!source) return reader;
  uint32_t endPos = LocateEndRecord(source);
  uint32_t signature, disk, dirDisk, diskEntries, totalEntries, dirSize, dirOffset, commentLength;
  bool ok = endPos != kZipNoPosition && SeekSource(source, endPos) &&
            ReadField(source, 4, &signature) && ReadField(source, 2, &disk) &&
            ReadField(source, 2, &dirDisk) && ReadField(source, 2, &diskEntries) &&
            ReadField(source, 2, &totalEntries) && ReadField(source, 4, &dirSize) &&
            ReadField(source, 4, &dirOffset) && ReadField(source, 2, &commentLength);
  ok = ok && totalEntries == diskEntries && disk == 0 && dirDisk == 0;
  // In 64 bits: a directory whose offset and size wrap around 32 bits must
  // not pass as lying in front of the end record.
  ok = ok && static_cast<uint64_t>(endPos) + source->initialOffset >=
                 static_cast<uint64_t>(dirOffset) + dirSize;
  if (ok) reader = Owned<ZipReader>::Make();
  if (!reader) return reader;
  reader->leadingBytes = source->initialOffset + endPos - dirOffset - dirSize;
  source->initialOffset = 0;
  reader->source = std::move(owned);
  reader->entryCount = totalEntries;
  reader->endRecordPos = endPos;
  reader->dirSize = dirSize;
  reader->dirOffset = dirOffset;
  GoToFirstEntry(reader.get());
  return reader;
}

ZipReadStatus GoToFirstEntry(ZipReader* reader) {
  if (!reader) return ZipReadStatus::BadArgument;
  reader->entryPos = reader->dirOffset;
  reader->entryIndex = 0;
  ZipReadStatus status =
      ReadEntryInfo(reader, &reader->info, &reader->localHeaderOffset, nullptr, 0);
  reader->entryOk = status == ZipReadStatus::Ok;
  return status;
}

ZipReadStatus GoToNextEntry(ZipReader* reader) {
  if (!reader) return ZipReadStatus::BadArgument;
  // Without a readable current entry or past the last one the walk stays put;
  // callers detect that by the unchanged entryIndex.
  if (!reader->entryOk || reader->entryIndex + 1 >= reader->entryCount) {
    return ZipReadStatus::BadArgument;
  }
  reader->entryPos += kCentralHeaderSize + reader->info.nameLength + reader->info.extraLength +
                      reader->info.commentLength;
  reader->entryIndex += 1;
  ZipReadStatus status =
      ReadEntryInfo(reader, &reader->info, &reader->localHeaderOffset, nullptr, 0);
  reader->entryOk = status == ZipReadStatus::Ok;
  return status;
}

ZipReadStatus ReadEntryInfo(ZipReader* reader, ZipEntryInfo* infoOut, uint32_t* localHeaderOut,
                            char* name, uint32_t nameSize) {
  if (!reader) return ZipReadStatus::BadArgument;
  if (name && nameSize > 0) name[0] = 0;
  ZipSource* source = reader->source.get();
  if (!SeekSource(source, static_cast<uint64_t>(reader->entryPos) + reader->leadingBytes)) {
    return ZipReadStatus::IoError;
  }
  ZipEntryInfo info;
  uint32_t signature, localHeaderOffset;
  bool ok =
      ReadField(source, 4, &signature) && ReadField(source, 2, &info.versionMadeBy) &&
      ReadField(source, 2, &info.versionNeeded) && ReadField(source, 2, &info.flags) &&
      ReadField(source, 2, &info.method) && ReadField(source, 4, &info.dosDateTime) &&
      ReadField(source, 4, &info.crc32) && ReadField(source, 4, &info.compressedSize) &&
      ReadField(source, 4, &info.uncompressedSize) && ReadField(source, 2, &info.nameLength) &&
      ReadField(source, 2, &info.extraLength) && ReadField(source, 2, &info.commentLength) &&
      ReadField(source, 2, &info.diskNumberStart) &&
      ReadField(source, 2, &info.internalAttributes) &&
      ReadField(source, 4, &info.externalAttributes) && ReadField(source, 4, &localHeaderOffset);
  if (!ok) return ZipReadStatus::IoError;
  if (name && nameSize > 0 && info.nameLength > 0) {
    uint32_t count = Min(info.nameLength, nameSize - 1);
    if (!ReadSource(source, name, count)) {
      name[0] = 0;
      return ZipReadStatus::IoError;
    }
    name[count] = 0;
  }
  if (signature != kCentralSignature) return ZipReadStatus::BadArchive;
  if (infoOut) *infoOut = info;
  if (localHeaderOut) *localHeaderOut = localHeaderOffset;
  return ZipReadStatus::Ok;
}

ZipReadStatus CheckLocalHeader(ZipReader* reader, uint32_t* variableSize,
                               uint32_t* localExtraOffset, uint32_t* localExtraSize) {
  if (!reader) return ZipReadStatus::BadArgument;
  ZipSource* source = reader->source.get();
  if (!SeekSource(source,
                  static_cast<uint64_t>(reader->localHeaderOffset) + reader->leadingBytes)) {
    return ZipReadStatus::IoError;
  }
  uint32_t signature, versionNeeded, flags, method, dosDateTime, crc, compressedSize,
      uncompressedSize, nameLength, extraLength;
  bool ok = ReadField(source, 4, &signature) && ReadField(source, 2, &versionNeeded) &&
            ReadField(source, 2, &flags) && ReadField(source, 2, &method) &&
            ReadField(source, 4, &dosDateTime) && ReadField(source, 4, &crc) &&
            ReadField(source, 4, &compressedSize) && ReadField(source, 4, &uncompressedSize) &&
            ReadField(source, 2, &nameLength) && ReadField(source, 2, &extraLength);
  if (!ok) return ZipReadStatus::IoError;
  const ZipEntryInfo& central = reader->info;
  bool agrees = signature == kLocalSignature && method == central.method &&
                (method == 0 || method == 8) && nameLength == central.nameLength;
  // With a data descriptor the local header may hold zero CRC and sizes.
  if ((flags & 8) == 0) {
    agrees = agrees && crc == central.crc32 && compressedSize == central.compressedSize &&
             uncompressedSize == central.uncompressedSize;
  }
  if (!agrees) return ZipReadStatus::BadArchive;
  *variableSize = nameLength + extraLength;
  *localExtraOffset = reader->localHeaderOffset + kLocalHeaderSize + nameLength;
  *localExtraSize = extraLength;
  return ZipReadStatus::Ok;
}

ZipReadStatus OpenEntry(ZipReader* reader, const char* password) {
  if (!reader || !reader->entryOk) return ZipReadStatus::BadArgument;
  if (reader->stream) CloseEntry(reader);
  uint32_t variableSize, extraOffset, extraSize;
  if (CheckLocalHeader(reader, &variableSize, &extraOffset, &extraSize) != ZipReadStatus::Ok) {
    return ZipReadStatus::BadArchive;
  }
  Owned<ZipEntryStream> stream = Owned<ZipEntryStream>::Make();
  if (!stream || !stream->readBuffer.Allocate(kZipBlockSize)) return ZipReadStatus::NoMemory;
  const ZipEntryInfo& info = reader->info;
  stream->position = reader->localHeaderOffset + kLocalHeaderSize + variableSize;
  stream->compressedLeft = info.compressedSize;
  stream->uncompressedLeft = info.uncompressedSize;
  stream->crc = 0;
  stream->expectedCrc = info.crc32;
  stream->method = info.method;
  stream->source = reader->source.get();
  stream->leadingBytes = reader->leadingBytes;
  if (stream->method == 8) {
    stream->inflateReady = inflateInit2(&stream->inflater, -MAX_WBITS) == Z_OK;
  }
  stream->encrypted = (info.flags & 1) != 0;
  stream->headerLeft = stream->encrypted ? kEncryptionHeaderSize : 0;
  stream->checkByte = (info.flags & 8) ? static_cast<unsigned char>(info.dosDateTime >> 8)
                                       : static_cast<unsigned char>(info.crc32 >> 24);
  stream->keys[0] = 0x12345678;
  stream->keys[1] = 0x23456789;
  stream->keys[2] = 0x34567890;
  if (password) {
    const z_crc_t* table = get_crc_table();
    for (const char* p = password; *p; ++p) {
      UpdateKeys(table, stream->keys, static_cast<unsigned char>(*p));
    }
  }
  reader->stream = std::move(stream);
  return ZipReadStatus::Ok;
}

int32_t ReadEntry(ZipReader* reader, void* buffer, uint32_t length, bool* atEnd) {
  if (atEnd) *atEnd = false;
  if (!reader || !reader->stream) return static_cast<int32_t>(ZipReadStatus::BadArgument);
  if (length == 0) return 0;
  ZipEntryStream* s = reader->stream.get();
  z_stream& z = s->inflater;
  z.next_out = static_cast<Bytef*>(buffer);
  // The count is returned as a signed value.
  z.avail_out = Min(Min(length, s->uncompressedLeft), 0x7FFFFFFFu);
  if (z.avail_out == 0) {
    if (atEnd) *atEnd = true;
    return 0;
  }
  const z_crc_t* table = s->encrypted ? get_crc_table() : nullptr;
  int32_t count = 0;
  while (z.avail_out > 0) {
    if (z.avail_in == 0 && s->compressedLeft > 0) {
      uint32_t n = Min(kZipBlockSize, s->compressedLeft);
      if (!SeekSource(s->source, static_cast<uint64_t>(s->position) + s->leadingBytes) ||
          !ReadSource(s->source, s->readBuffer.get(), n)) {
        return static_cast<int32_t>(ZipReadStatus::IoError);
      }
      s->position += n;
      s->compressedLeft -= n;
      if (s->encrypted) {
        for (uint32_t i = 0; i < n; ++i) {
          s->readBuffer[i] = DecryptByte(s->keys, table, s->readBuffer[i]);
        }
      }
      z.next_in = s->readBuffer.get();
      z.avail_in = n;
    }
    if (s->headerLeft > 0 && z.avail_in > 0) {
      uint32_t k = Min(z.avail_in, s->headerLeft);
      unsigned char last = z.next_in[k - 1];
      z.next_in += k;
      z.avail_in -= k;
      s->headerLeft -= k;
      if (s->headerLeft == 0 && last != s->checkByte) {
        return static_cast<int32_t>(ZipReadStatus::BadPassword);
      }
    }
    if (s->method == 0) {
      if (z.avail_in == 0 && s->compressedLeft == 0) return count;
      uint32_t k = Min(z.avail_out, z.avail_in);
      memcpy(z.next_out, z.next_in, k);
      s->crc = crc32(s->crc, z.next_out, k);
      z.next_in += k;
      z.avail_in -= k;
      z.next_out += k;
      z.avail_out -= k;
      z.total_out += k;
      s->uncompressedLeft -= k;
      count += static_cast<int32_t>(k);
      if (s->uncompressedLeft == 0 && atEnd) *atEnd = true;
    } else {
      // Input still to come from the file: fetch it rather than let inflate
      // report that it cannot advance.
      if (z.avail_in == 0 && s->compressedLeft > 0) continue;
      Bytef* out = z.next_out;
      uLong totalBefore = z.total_out;
      uint32_t leftBefore = s->uncompressedLeft;
      int err = s->inflateReady ? inflate(&z, Z_SYNC_FLUSH) : Z_STREAM_ERROR;
      uint32_t produced = static_cast<uint32_t>(z.total_out - totalBefore);
      s->crc = crc32(s->crc, out, produced);
      s->uncompressedLeft -= produced;
      count += static_cast<int32_t>(produced);
      if (err == Z_STREAM_END || produced == leftBefore) {
        if (atEnd) *atEnd = true;
        return count;
      }
      // Raw inflate never asks for a dictionary; should it, the data is bad.
      if (err == Z_NEED_DICT) return Z_DATA_ERROR;
      if (err != Z_OK) return err;
    }
  }
  return count;
}

ZipReadStatus CloseEntry(ZipReader* reader) {
  if (!reader || !reader->stream) return ZipReadStatus::BadArgument;
  ZipEntryStream* s = reader->stream.get();
  ZipReadStatus verdict = (s->uncompressedLeft == 0 && s->crc != s->expectedCrc)
                              ? ZipReadStatus::CrcMismatch
                              : ZipReadStatus::Ok;
  reader->stream.Reset();
  return verdict;
}

void CloseReader(ZipReader* reader) { Owned<ZipReader> gone(reader); }

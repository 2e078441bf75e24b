#pragma once

#include <stdint.h>

#include "common/str.h"

// Code pages the subsystem handles itself or names often.
constexpr int kCodePageUtf16 = 1200;
constexpr int kCodePageUtf16Be = 1201;
constexpr int kCodePageUtf8 = 65001;
// Code points as 32-bit little-endian units; converted here, not by Windows.
constexpr int kCodePageUtf32 = 65005;

// The code page of an encoding name: 0 for the empty name (the system ANSI
// code page), kCodePageUtf32 for a name beginning with "UTF-32" in exactly
// that case, -1 for an unknown name. Other names are matched ignoring ASCII
// case.
int CodePageFromName(const wchar_t* name);

// One UTF-8 character from cursor (advanced past the bytes taken), or -1.
// Following bytes must be 0x80..0xBF and are refused in the lead position,
// so that a chunk end is never taken for the middle of a character and
// double-byte ANSI text does not pass for UTF-8. Overlong forms are not
// checked.
int DecodeUtf8Char(const unsigned char*& cursor, const unsigned char* end);
// Adds the 1 to 4 bytes of code point c to count, writing them at
// buffer + count when buffer is not null. Values beyond U+10FFFF become '?'.
void EncodeUtf8Char(uint32_t c, unsigned char* buffer, int& count);

// Puts code point c (at most U+10FFFF) at out[n] as one unit or a surrogate
// pair and advances n; with out null it only counts. False, with nothing
// put, when the units would pass capacity.
bool PutUtf16(uint32_t c, wchar_t* out, int& n, int capacity);

// Converts between encodings by name. Units are those of each encoding:
// wchar_t for UTF-16, uint32_t for kCodePageUtf32, bytes otherwise.
struct TextConverter {
  TextConverter(const wchar_t* fromEncoding, const void* source, int sourceLength);

  // Converts into destination (at most capacity units; a null destination or
  // capacity 0 only counts) and returns the number of destination units. A
  // null toEncoding keeps the previous one. Undecodable input becomes '?';
  // characters the target cannot hold set lossFlag where Windows reports it.
  int Convert(void* destination, const wchar_t* toEncoding);

  WStr toEncoding;
  WStr fromEncoding;
  const void* source;
  int sourceLength;
  int capacity = 0;
  int result = 0;
  bool lossFlag = false;
};

// Whole conversions through TextConverter (count, then convert).
WStr BytesToWide(const char* bytes, int length, const wchar_t* encoding);
// Units of the target encoding as bytes (4 a unit for kCodePageUtf32).
ByteStr WideToBytes(const wchar_t* text, int length, const wchar_t* encoding, bool* loss);

// How many bytes at the end of a chunk begin a character that the chunk does
// not complete; the caller reads them again with the next chunk. -1 when it
// cannot be decided.
int HeldBackUtf16(const wchar_t* units, int count);
int HeldBackUtf8(const unsigned char* bytes, int count);
int HeldBackUtf32(int byteCount);
int HeldBackCodePage(int codePage, const unsigned char* bytes, int count);
// The comparison of converted tails that HeldBackCodePage falls back on for
// multi-byte code pages without lead-byte ranges.
int HeldBackByTails(int codePage, const unsigned char* bytes, int count);

// True when bytes read as UTF-8: every byte from 0x80 up starts a sequence
// that DecodeUtf8Char accepts. A sequence cut by the end counts as UTF-8
// unless the bytes are the last of their file.
bool LooksLikeUtf8(const unsigned char* bytes, int count, bool last);

// The encoding a document declares in its XML declaration, or for HTML in a
// meta element's Content-Type charset; empty when it declares none.
WStr GetDeclaredEncoding(const wchar_t* text);

// Byte-order marks recognised when a file is opened.
struct ByteOrderMark {
  const char* bytes;
  int length;
  const wchar_t* encoding;
  uint32_t flag;  // FileStream encoding flag
};
constexpr int kByteOrderMarkCount = 3;
extern const ByteOrderMark kByteOrderMarks[kByteOrderMarkCount];

#pragma once

#include <stdint.h>

constexpr int kCodePageGb18030 = 54936;

// Wine has no GB18030; there the subsystem converts it itself: one byte for
// ASCII, two as in GBK (code page 936, with the euro sign at A2 E3), four
// from the generated ranges and for everything beyond the BMP.
bool SystemHasGb18030();
// Bytes of the character at s: 1 (also for an invalid byte), 2 or 4; 0
// when the input ends before it does.
int Gb18030CharSize(const unsigned char* s, int length);
// Both return the number of units written (counted only with a null out);
// undecodable bytes and unencodable characters become '?'.
int Gb18030ToUtf16(const unsigned char* s, int length, wchar_t* out, int capacity);
int Utf16ToGb18030(const wchar_t* s, int length, char* out, int capacity, bool* loss);

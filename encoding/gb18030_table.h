#pragma once

#include <stdint.h>

// The characters of the Basic Multilingual Plane that GB18030 writes in four
// bytes, as ranges in which the four-byte index and the code point run on
// together. Both columns rise from range to range.
struct Gb18030Range {
  int32_t index;  // ((b1 - 0x81) * 10 + b2 - 0x30) * 1260 + (b3 - 0x81) * 10 + b4 - 0x30
  uint16_t first;
  uint16_t count;
};
extern const Gb18030Range kGb18030Ranges[];
extern const int kGb18030RangeCount;

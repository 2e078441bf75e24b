#pragma once

#include "common/str.h"

// Options of AddResult: how the value and the numbers are named, and whether
// an entry is appended or the first entry of that name is updated.
enum ResultOption : unsigned {
  kResultCount = 0x01,     // a is "count"
  kResultType = 0x02,      // value is "type"
  kResultN = 0x04,         // a is "n"
  kResultEncoding = 0x08,  // value is "encoding"
  kResultLength = 0x10,    // a is "length"
  kResultUpdate = 0x20,    // update the first entry of that name instead of appending
  kResultMsg = 0x40,       // value is "msg"
};

// Adds one empty element to a result log (a root-less sequence of empty
// elements), or updates one with kResultUpdate. value may be null; a and b
// of -1 are left out where they would be "offset" and "offset2".
void AddResult(WStr& log, unsigned options, const wchar_t* name, const wchar_t* value, int a,
               int b);

// The log grows no further once it is longer than this.
constexpr size_t kResultLogLimit = 999;

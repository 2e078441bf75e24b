#pragma once

#include "common/str.h"

// How markup characters are escaped: '<', '>' and '&' always; with
// kEscapeQuotes (attribute values) '"' and '\'' too; with kKeepReferences an
// '&' that begins a reference stays, with the reference, as written.
enum EscapeOption : unsigned {
  kEscapeQuotes = 0x1,
  kKeepReferences = 0x2,
};

void AppendEscaped(WStr& out, const wchar_t* text, unsigned options);

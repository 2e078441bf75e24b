#pragma once

#include <stdint.h>

#include "common/str.h"

// Copies length units of text, replacing entity and character references;
// malformed references stay as written. With XmlDoc::TrimWhitespace or
// XmlDoc::CollapseWhitespace in flags, whitespace is trimmed (and inner runs
// become one space).
WStr DecodeText(int32_t length, const wchar_t* text, uint32_t flags);

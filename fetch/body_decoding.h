#pragma once

#include <stddef.h>

#include "common/str.h"

// Whether a reply's Content-Encoding is one the setup decodes: gzip or
// deflate (zlib-wrapped, or raw as some servers send it).
bool DecodedEncoding(const WStr& coding);

// The body decoded into *out, at most limit bytes of it; false when it is
// not whole and well-formed in that encoding, or decodes to more.
bool DecodeBody(const ByteStr& body, size_t limit, ByteStr* out);

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"

// The Content-Length of an HTTP reply (0 when absent), and its status code.
uint32_t QueryContentLength(HINTERNET request);
uint32_t QueryStatusCode(HINTERNET request);

// A reply's Content-Range "bytes first-last/total"; total is 0 for "*".
// False when it is absent or of another form.
bool QueryContentRange(HINTERNET request, uint64_t* first, uint64_t* last, uint64_t* total);
// The same read from the header's text.
bool ParseContentRange(const wchar_t* text, uint64_t* first, uint64_t* last, uint64_t* total);

// What identifies the reply's entity for a later If-Range: its ETag when
// that is strong (a weak one may not be used there), or else its
// Last-Modified; empty when it has neither.
WStr QueryValidator(HINTERNET request);

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"

// What a download needs of a reply, read from its headers at once, so that
// everything after is decided on text and numbers, not on a handle.
struct ReplyHeaders {
  uint32_t status = 0;
  // 0 when absent or unreadable; read as text, so that a length past 4 GB
  // is seen as one, not wrapped.
  uint64_t contentLength = 0;
  // Empty when absent (the identity).
  WStr contentEncoding;
  WStr contentType;
  WStr contentRange;
  WStr etag;
  WStr lastModified;
};

// The reply's headers; the caller holds the use of the request's line.
ReplyHeaders ReadReplyHeaders(HINTERNET request);

// A reply's Content-Range "bytes first-last/total"; total is 0 for "*".
// False when it is absent or of another form.
bool ParseContentRange(const wchar_t* text, uint64_t* first, uint64_t* last, uint64_t* total);

// Whether the reply's body is the file's own bytes: no Content-Encoding,
// or "identity".
bool Unencoded(const ReplyHeaders& reply);

// What identifies the reply's entity for a later If-Range: its ETag when
// that is strong (a weak one may not be used there), or else its
// Last-Modified; empty when it has neither.
WStr ValidatorOf(const ReplyHeaders& reply);

#include "fetch/reply_headers.h"

#include <wchar.h>

namespace {

// Validators and ranges are short; a longer header is no use here.
constexpr DWORD kHeaderChars = 256;

uint32_t QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
  return value;
}

WStr QueryText(HINTERNET request, DWORD query) {
  wchar_t text[kHeaderChars] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (!HttpQueryInfoW(request, query, text, &size, nullptr)) return WStr();
  return WStr(text);
}

// Reads the digits at *at into value; false when there are none or more
// than 64 bits hold.
bool ReadNumber(const wchar_t** at, uint64_t* value) {
  const wchar_t* p = *at;
  uint64_t n = 0;
  for (; *p >= L'0' && *p <= L'9'; ++p) {
    if (p - *at >= 19) return false;
    n = n * 10 + static_cast<uint64_t>(*p - L'0');
  }
  if (p == *at) return false;
  *at = p;
  *value = n;
  return true;
}

}  // namespace

ReplyHeaders ReadReplyHeaders(HINTERNET request) {
  ReplyHeaders reply;
  reply.status = QueryNumber(request, HTTP_QUERY_STATUS_CODE);
  WStr length = QueryText(request, HTTP_QUERY_CONTENT_LENGTH);
  const wchar_t* digits = length.c_str();
  uint64_t value = 0;
  if (ReadNumber(&digits, &value) && *digits == 0) reply.contentLength = value;
  reply.contentEncoding = QueryText(request, HTTP_QUERY_CONTENT_ENCODING);
  reply.contentType = QueryText(request, HTTP_QUERY_CONTENT_TYPE);
  reply.contentRange = QueryText(request, HTTP_QUERY_CONTENT_RANGE);
  reply.etag = QueryText(request, HTTP_QUERY_ETAG);
  reply.lastModified = QueryText(request, HTTP_QUERY_LAST_MODIFIED);
  return reply;
}

bool ParseContentRange(const wchar_t* text, uint64_t* first, uint64_t* last, uint64_t* total) {
  const wchar_t* p = text;
  if (wcsncmp(p, L"bytes ", 6) != 0) return false;
  p += 6;
  if (!ReadNumber(&p, first) || *p++ != L'-' || !ReadNumber(&p, last) || *p++ != L'/') {
    return false;
  }
  if (p[0] == L'*' && p[1] == 0) {
    *total = 0;
    return *first <= *last;
  }
  return ReadNumber(&p, total) && *p == 0 && *first <= *last;
}

bool Unencoded(const ReplyHeaders& reply) {
  return reply.contentEncoding.empty() || _wcsicmp(reply.contentEncoding.c_str(), L"identity") == 0;
}

WStr ValidatorOf(const ReplyHeaders& reply) {
  if (!reply.etag.empty() && reply.etag[0] == L'"') return reply.etag;
  return reply.lastModified;
}

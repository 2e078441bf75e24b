#include "install/reply_headers.h"

namespace {

uint32_t QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
  return value;
}

}  // namespace

uint32_t QueryContentLength(HINTERNET request) {
  return QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH);
}

uint32_t QueryStatusCode(HINTERNET request) { return QueryNumber(request, HTTP_QUERY_STATUS_CODE); }

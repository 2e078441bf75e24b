#pragma once

#include <stddef.h>
#include <windows.h>
#include <wininet.h>

#include "common/str.h"

// The record shared by FetchVersionManifest and its request thread; it lives
// in the caller's frame and the thread always ends before it goes away.
struct HttpRequest {
  HINTERNET session = nullptr;
  // The full URL on entry; the request thread cuts it down to the host.
  WStr url;
  // Empty for GET; otherwise POSTed as the request body.
  ByteStr postData;
  ByteStr body;
  // thread and cancelEvent form the two-handle array of the wait: result 0
  // means the request ended, 1 means cancel.
  HANDLE thread = nullptr;
  HANDLE cancelEvent = nullptr;
};

static_assert(offsetof(HttpRequest, cancelEvent) == offsetof(HttpRequest, thread) + sizeof(HANDLE),
              "thread and cancelEvent must be adjacent for the wait");

// The whole exchange of one manifest fetch must end within this time.
constexpr DWORD kManifestTimeLimitMs = 15000;

// The version manifest's body, or an empty string on any failure, after the
// time limit, or when gCancelEvent is (or becomes) set. Blocks the caller.
ByteStr FetchVersionManifest();

// Thread routine: request->url over request->session, leaving the response
// body in request->body. Always returns 0.
DWORD WINAPI RunHttpRequest(void* request);

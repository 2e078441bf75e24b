#pragma once

#include <stddef.h>
#include <windows.h>
#include <wininet.h>

#include <stdint.h>

#include "common/str.h"

class InternetLine;

// The record shared by FetchVersionManifest and its request thread.
struct HttpRequest {
  // The session the request runs on, which the caller may cut.
  InternetLine* line = nullptr;
  // The full URL on entry; the request thread cuts it down to the host.
  WStr url;
  // Empty for GET; otherwise POSTed as the request body.
  ByteStr postData;
  ByteStr body;
  // The reply's status code; 0 when none came.
  uint32_t status = 0;
  // Set when the reply is refused whatever its status: the https URL it
  // was redirected away from https to, or a Content-Encoding that is not
  // read (gzip and deflate are decoded).
  WStr ledTo;
  WStr encoding;
  // Whether the body is kept to its last byte; otherwise each chunk counts
  // up to its first zero byte, as text.
  bool keepZeros = false;
  // thread and cancelEvent form the two-handle array of the wait: result 0
  // means the request ended, 1 means cancel.
  HANDLE thread = nullptr;
  HANDLE cancelEvent = nullptr;
  // Set by the caller once it has stopped waiting for the result.
  volatile LONG stopped = 0;
};

static_assert(offsetof(HttpRequest, cancelEvent) == offsetof(HttpRequest, thread) + sizeof(HANDLE),
              "thread and cancelEvent must be adjacent for the wait");

// A reply longer than this is no manifest (a real one is about 100 bytes):
// reading stops there and the body is empty, so that a flood neither fills
// the memory nor keeps the fetch going.
constexpr size_t kMaxReplyBytes = 64 * 1024;
// The whole exchange of one manifest fetch must end within this time.
constexpr DWORD kManifestTimeLimitMs = 15000;
// How long FetchVersionManifest, after its time limit or a cancel, waits for
// its request thread to end, cutting its line meanwhile to end a blocked
// call. Wine does not free a call blocked on a silent server when the session
// closes; such a thread is left to end on its own.
constexpr DWORD kRequestJoinMs = 300;

// What came of a small file's request besides its body.
struct SmallReply {
  // 0 for no reply.
  uint32_t status = 0;
  // As in HttpRequest.
  WStr ledTo;
  WStr encoding;
};

// The version manifest's body, or an empty string on any failure, after the
// time limit, or when the cancel event (manual-reset) is or becomes set.
// Only a 200 over https to the end, in an encoding that is read, brings
// content: any other reply (an error page, a proxy's refusal) is none, and
// *reply (when given) says what came. Blocks the caller.
ByteStr FetchVersionManifest(HANDLE cancelEvent, SmallReply* reply = nullptr);

// The manifest's signature beside it, the same way, but binary: every byte
// of the body is kept.
ByteStr FetchManifestSignature(HANDLE cancelEvent, SmallReply* reply = nullptr);

// Thread routine: request->url over request->line, leaving the response
// body in request->body. Always returns 0.
DWORD WINAPI RunHttpRequest(void* request);

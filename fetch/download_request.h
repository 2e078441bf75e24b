#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/str.h"
#include "fetch/internet_line.h"
#include "fetch/reply_headers.h"

// A download's request on the worker's line: the URL's connection and its
// request, sent with reload and no-cache-write (and secure for https), as
// InternetOpenUrlW would send it. It is made in steps so that the stall
// limit (StallLimitMs) is set on the request before it is sent: Wine 8
// applies a receive time-out to the connection only when it opens, and
// takes none over from the session. No byte for the limit then ends the
// wait for the reply or a read of its body as failed.
struct DownloadRequest {
  explicit DownloadRequest(InternetLine* line) : connection(line), request(line) {}
  // Declared first: closed after its request.
  LineHandle connection;
  LineHandle request;
  ReplyHeaders reply;
  // Where a redirect led that was not followed: to anything but https, or
  // one hop too many.
  WStr ledTo;
};

// What is sent: the verb, extra headers (null for none, each line ending
// in "\r\n") and a body.
struct RequestForm {
  const wchar_t* verb = L"GET";
  const wchar_t* headers = nullptr;
  const void* data = nullptr;
  DWORD dataSize = 0;
};

// Where a request goes, as WinInet takes it apart.
struct RequestTarget {
  const wchar_t* host = nullptr;
  INTERNET_PORT port = 0;
  const wchar_t* path = nullptr;
  // HttpOpenRequestW's flags.
  DWORD flags = 0;
};

// One request sent on the line the caller holds, its reply's headers read,
// no redirect followed by the setup. A proxy that asks for a password
// (407) gets it through the system's prompt, and the request is made
// again on a new handle; a refused prompt leaves the 407 as the reply.
// False, with nothing open, when it cannot be made or sent, or the line
// is cut.
bool SendRequest(LineUse* use, const RequestTarget& target, const RequestForm& form,
                 DownloadRequest* opened);

// The headers of a request for byte ranges ("a-b,c-" as HTTP writes
// them), with If-Range naming the validator when there is one: a range of
// another version of the file is never taken.
WStr RangeHeaders(const WStr& ranges, const WStr& validator);

// At most this many redirects are followed, each only to https: TLS to
// the end, whatever WinInet itself would allow.
constexpr int kMaxRedirects = 5;

// Sends the request, following redirects by the rule above with the same
// headers (a 301, 302 or 303 as a GET without body), and reads the final
// reply's headers; false, with nothing open, when it cannot be made or
// sent, the line is cut, or a redirect is refused (ledTo says where to).
// Every request asks for the identity encoding.
bool OpenDownload(InternetLine* line, const wchar_t* url, const RequestForm& form,
                  DownloadRequest* opened);

// The URL a sent request's reply came from when that is not https (WinInet
// may have followed redirects on its own); empty when it is.
WStr ReplyLeftHttps(HINTERNET request);

// The next piece of the body into buffer: its size, 0 at its end, on a
// failure (*error, when given, then holds its code; 0 at a plain end), or
// once the line is cut.
DWORD ReadDownload(InternetLine* line, DownloadRequest* opened, void* buffer, DWORD size,
                   DWORD* error = nullptr);

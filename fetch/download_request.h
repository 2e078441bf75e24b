#pragma once

#include <windows.h>
#include <wininet.h>

#include "fetch/internet_line.h"
#include "fetch/reply_headers.h"

// A download's request on the worker's line: the URL's connection and its
// GET, sent with reload and no-cache-write (and secure for https), as
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
};

// Sends the request with the extra headers (null for none) and reads the
// reply's headers; false, with nothing open, when it cannot be made or
// sent, or the line is cut.
bool OpenDownload(InternetLine* line, const wchar_t* url, const wchar_t* headers,
                  DownloadRequest* opened);

// The next piece of the body into buffer: its size, 0 at its end, on a
// failure, or once the line is cut.
DWORD ReadDownload(InternetLine* line, DownloadRequest* opened, void* buffer, DWORD size);

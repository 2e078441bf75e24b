#pragma once

#include <windows.h>
#include <wininet.h>

#include "common/scoped.h"

// A download's request on the worker session: the URL's connection and its
// GET, sent with reload and no-cache-write (and secure for https), as
// InternetOpenUrlW would send it. It is made in steps so that the stall
// limit (StallLimitMs) is set on the request before it is sent: Wine 8
// applies a receive time-out to the connection only when it opens, and
// takes none over from the session. No byte for the limit then ends the
// wait for the reply or a read of its body as failed.
struct DownloadRequest {
  // Declared first: closed after its request.
  ScopedInternetHandle connection;
  ScopedInternetHandle request;
};

// Sends the request with the extra headers (null for none); false, with
// nothing open, when it cannot be made or sent.
bool OpenDownload(HINTERNET session, const wchar_t* url, const wchar_t* headers,
                  DownloadRequest* opened);

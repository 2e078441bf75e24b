#pragma once

#include <stdint.h>

#include "common/str.h"
#include "fetch/download.h"
#include "fetch/http_request.h"
#include "report/outcome.h"

// A manifest's or signature's reply that is refused whatever its body:
// a redirect away from https, an encoding that is not read, a status
// other than 200. Done when none of these.
Outcome SmallFileRefused(const wchar_t* url, const SmallReply& reply);

// The failure of a download that did not end whole, cancelled or with
// its file not made: its report (kDownloadFailed or kDatabaseFailed,
// naming the URL) and the reason on the line after. A reply that is no
// content names its status and length, a drive without room the folder of
// path. A length that is not the declared one is, with keys, a file the
// signature does not vouch for.
Outcome DownloadFailure(const DownloadResult& got, ReportId failed, const wchar_t* url,
                        bool keyed, const WStr& path);

#pragma once

#include "common/str.h"
#include "fetch/download.h"
#include "fetch/download_resume.h"

// At most this many ranges go in one request: nginx takes request headers
// of 8 KB, and a range is some 20 characters.
constexpr int kRangesPerRequest = 200;

// The declared package (terms: its size and SHA-256) fetched into
// job.path by difference from an earlier package on disk (old): the new
// package's end first (its central directory), then the pieces of the plan
// in order, each copied from old or fetched by range, several ranges to a
// request (one to a request once a server answers several otherwise than
// part by part). The result is checked whole against the terms; any doubt (an
// old file that is no package, a server that does not take ranges, a
// malformed reply, a hash that does not match) fetches the whole package
// instead, and a 200 that answers a range is that whole download. A part
// that an earlier run left with its validator is kept: only what follows
// it is made. Ends as DownloadToFile does; progress counts copied bytes as
// there.
DownloadResult FetchByDifference(const Transfer& transfer, const DownloadJob& job,
                                 DownloadProgress* progress, const ResumeTerms& terms,
                                 const WStr& old);

// The package an earlier update left beside target (the same folder, named
// "Quelda*.zip", not target itself): the most recently written; empty when
// there is none.
WStr FindEarlierPackage(const WStr& target);

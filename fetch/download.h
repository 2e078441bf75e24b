#pragma once

#include "common/str.h"
#include "fetch/download_resume.h"
#include "worker/worker_inputs.h"

// What tells the worker's downloads apart.
struct DownloadJob {
  const wchar_t* url;
  // The file's full path; empty when the install folder has no room for
  // it, which fails as a file that cannot be created.
  WStr path;
  // Whether the file's missing folders are made first.
  bool makeFolders;
  // A reply that cannot be opened or has no length: failed, or, when
  // noLength is the package's, its status code and length.
  ReportId failed;
  bool reportStatusCode;
  ReportId notCreated;
  // The progress report; leading (when set) is its first argument, before
  // the total and the received kilobytes.
  ReportId step;
  const wchar_t* leading;
  // When set, the body is written to the path with this appended, and the
  // file at the path itself is left alone: the caller puts a whole body in
  // its place. A failure to create it is reported under the path.
  const wchar_t* partSuffix;
  // When set, a last line of every failure report.
  const wchar_t* failureLine;
};

// Downloads the URL on the worker session into the job's path: opens it,
// reads its length, creates the file, sets up the progress bar and reads
// the body in 4096-byte reads until a read gives nothing or the cancel
// event is set, reporting progress whenever the bar's position changes.
// The full path of the file written, or empty after a failure report; a
// body that breaks off is no failure, but whole (when given) then says
// false: true only when every byte of the Content-Length was written.
// With terms (a declared size and hash), a file that an earlier run left
// at the path is used: the declared package itself without a request, a
// shorter one continued with a range request, anything else started over.
// A stall of StallLimitMs ends the download as a broken-off body.
WStr DownloadToFile(const WorkerInputs& inputs, const DownloadJob& job, bool* whole = nullptr,
                    const ResumeTerms* terms = nullptr);

#pragma once

#include <windows.h>
#include <stdint.h>

#include "common/str.h"
#include "fetch/download_request.h"
#include "fetch/internet_line.h"

// The body of a reply to a request for byte ranges, part by part in the
// order asked: a 206 of one range whose Content-Range names it, or a
// multipart/byteranges body whose every part names its own. Anything else
// (a part of other bytes, a malformed part, another status) is no part.
class RangeReply {
 public:
  RangeReply() = default;
  RangeReply(const RangeReply&) = delete;
  RangeReply& operator=(const RangeReply&) = delete;

  // The reply of request, sent; size: the whole file's, which every
  // Content-Range must name.
  void Begin(InternetLine* line, DownloadRequest* request, uint32_t size);

  // Opens the next part, which must bring the bytes first to last; false
  // when the reply does not.
  bool Next(uint32_t first, uint32_t last);
  // Up to size bytes of the open part into buffer; 0 at its end, or when
  // the body broke off (error() then says why, 0 for a plain end).
  DWORD Read(void* buffer, DWORD size);
  DWORD error() const { return error_; }
  // Whether the reply is a multipart/byteranges body.
  bool multipart() const { return multipart_; }

 private:
  // Bytes of the body into the look-ahead buffer; false at its end.
  bool Fill();
  // The next line of the body, without its CRLF; false past maxChars.
  bool ReadLine(ByteStr* line);

  InternetLine* line_ = nullptr;
  DownloadRequest* request_ = nullptr;
  uint32_t size_ = 0;
  bool multipart_ = false;
  ByteStr boundary_;
  bool opened_ = false;
  uint32_t partLeft_ = 0;
  DWORD error_ = 0;
  char buffer_[4096];
  DWORD start_ = 0;
  DWORD end_ = 0;
};

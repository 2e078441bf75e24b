#include "delta/range_reply.h"

#include <string.h>

namespace {

constexpr char kMultipart[] = "multipart/byteranges";
// A part's headers are a few short lines; more is no part of ours.
constexpr size_t kMaxLineBytes = 512;
constexpr int kMaxPartLines = 16;

bool StartsWithNoCase(const char* text, const char* start) {
  return _strnicmp(text, start, strlen(start)) == 0;
}

// "bytes first-last/size" of a part's header line or a reply's header.
bool RangeIs(const wchar_t* text, uint32_t first, uint32_t last, uint32_t size) {
  uint64_t a = 0, b = 0, total = 0;
  return ParseContentRange(text, &a, &b, &total) && a == first && b == last && total == size;
}

}  // namespace

void RangeReply::Begin(InternetLine* line, DownloadRequest* request, uint32_t size) {
  line_ = line;
  request_ = request;
  size_ = size;
  multipart_ = opened_ = false;
  boundary_.Clear();
  partLeft_ = 0;
  error_ = 0;
  start_ = end_ = 0;
  // The boundary from the reply's Content-Type, as given.
  char narrow[256] = {};
  WideCharToMultiByte(CP_ACP, 0, request_->reply.contentType.c_str(), -1, narrow,
                      sizeof(narrow) - 1, nullptr, nullptr);
  if (!StartsWithNoCase(narrow, kMultipart)) return;
  const char* at = strstr(narrow, "boundary=");
  if (!at) return;
  at += 9;
  size_t length = strcspn(at, "; \"");
  if (*at == '"') {
    ++at;
    length = strcspn(at, "\"");
  }
  if (length == 0 || length > 70) return;
  multipart_ = true;
  boundary_.Append("--", 2);
  boundary_.Append(at, length);
}

bool RangeReply::Fill() {
  if (start_ == end_) start_ = end_ = 0;
  if (end_ == sizeof(buffer_)) return true;
  DWORD error = 0;
  DWORD got = ReadDownload(line_, request_, buffer_ + end_, sizeof(buffer_) - end_, &error);
  if (got == 0) {
    error_ = error;
    return false;
  }
  end_ += got;
  return true;
}

bool RangeReply::ReadLine(ByteStr* line) {
  line->Clear();
  for (;;) {
    while (start_ < end_) {
      char c = buffer_[start_++];
      if (c == '\n') {
        if (line->size() && line->back() == '\r') line->Resize(line->size() - 1);
        return true;
      }
      if (line->size() >= kMaxLineBytes || !line->Append(&c, 1)) return false;
    }
    if (!Fill()) return false;
  }
}

bool RangeReply::Next(uint32_t first, uint32_t last) {
  if (partLeft_ != 0) return false;
  uint32_t status = request_->reply.status;
  if (status != 206) return false;
  if (!multipart_) {
    // One range: the reply itself, once.
    if (opened_ || !RangeIs(request_->reply.contentRange.c_str(), first, last, size_)) return false;
    opened_ = true;
    partLeft_ = last - first + 1;
    return true;
  }
  // The part's delimiter (after the CRLF that ends the previous part),
  // then its headers up to an empty line.
  ByteStr line;
  int lines = 0;
  do {
    if (!ReadLine(&line) || ++lines > kMaxPartLines) return false;
  } while (line.empty());
  if (line.size() != boundary_.size() || memcmp(line.c_str(), boundary_.c_str(), line.size()) != 0) {
    return false;
  }
  bool named = false;
  while (ReadLine(&line) && !line.empty()) {
    if (++lines > kMaxPartLines) return false;
    if (StartsWithNoCase(line.c_str(), "Content-Range:")) {
      const char* value = line.c_str() + 14;
      while (*value == ' ') ++value;
      wchar_t wide[kMaxLineBytes + 1] = {};
      MultiByteToWideChar(CP_ACP, 0, value, -1, wide, kMaxLineBytes);
      named = RangeIs(wide, first, last, size_);
      if (!named) return false;
    }
  }
  if (!named || !line.empty()) return false;
  partLeft_ = last - first + 1;
  return true;
}

DWORD RangeReply::Read(void* buffer, DWORD size) {
  if (partLeft_ == 0) return 0;
  if (start_ == end_ && !Fill()) return 0;
  DWORD count = end_ - start_;
  if (count > size) count = size;
  if (count > partLeft_) count = partLeft_;
  memcpy(buffer, buffer_ + start_, count);
  start_ += count;
  partLeft_ -= count;
  return count;
}

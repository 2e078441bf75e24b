#include "install/download.h"

#include <wchar.h>

#include "app/status_slot.h"
#include "app/worker_access.h"
#include "install/error_text.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr uint32_t kReadsPerCancelTest = 16;

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

uint32_t QueryNumber(HINTERNET request, DWORD query) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
  return value;
}

}  // namespace

WStr GroupThousands(const WStr& text) {
  WStr result = text;
  size_t n = result.Find(L'.');
  if (n == WStr::npos) n = result.size();
  while (n > 0 && !IsDigit(result[n - 1])) --n;
  size_t i = n;
  while (i > 0 && IsDigit(result[i - 1])) --i;
  if (i == n) return result;
  size_t d = (i + 1) + ((n - (i + 1)) % 3);
  while (d < n) {
    WStr tail = result.Substr(d);
    result.Resize(d);
    result.Append(L',');
    result.Append(tail);
    n += 1;
    d += 4;
  }
  return result;
}

WStr DecimalText(uint32_t value) {
  wchar_t text[16] = {};
  _snwprintf_s(text, 16, _TRUNCATE, L"%u", value);
  return WStr(text);
}

uint32_t DownloadBody(HWND page, HINTERNET request, FILE* file, uint32_t total,
                      const wchar_t* progressFormat) {
  // On the stack: a zero-filled static would take room in the download.
  uint8_t buffer[kReadSize] = {};
  uint32_t range = total / kBytesPerStep;
  uint32_t received = 0;
  uint32_t lastPosition = 0;
  uint32_t reads = 0;
  WStr totalText = GroupThousands(DecimalText(total / 1024));
  for (;;) {
    uint32_t position =
        total ? static_cast<uint32_t>(static_cast<uint64_t>(received) * range / total) : 0;
    if (position != lastPosition) {
      lastPosition = position;
      PostStatus(page, 1, kStatusWorking, progressFormat, totalText.c_str(),
                 GroupThousands(DecimalText(received / 1024)).c_str());
    }
    DWORD count = 0;
    InternetReadFile(request, buffer, kReadSize, &count);
    if (count == 0) break;
    fwrite(buffer, 1, count, file);
    received += count;
    // Every 64 KB, without waiting: a 1 ms wait per read would halve the
    // speed, and under Wine even a plain test costs a server round trip
    // (about 0.1 ms). A cancel closes the session too, so the reads in
    // between return nothing at once.
    if (++reads % kReadsPerCancelTest == 0 &&
        WaitForSingleObject(CancelEvent(), 0) == WAIT_OBJECT_0)
      break;
  }
  return received;
}

uint32_t QueryContentLength(HINTERNET request) {
  return QueryNumber(request, HTTP_QUERY_CONTENT_LENGTH);
}

uint32_t QueryStatusCode(HINTERNET request) { return QueryNumber(request, HTTP_QUERY_STATUS_CODE); }

FILE* CreateDownloadFile(HWND page, const WStr& path) {
  FILE* file = nullptr;
  if (path.empty() || _wfopen_s(&file, path.c_str(), L"wb") != 0 || !file) {
    WStr reason = LastErrorText();
    PostStatus(page, 0, kStatusFailed, L"创建 “%s” 失败！\r\n%s", path.c_str(), reason.c_str());
    return nullptr;
  }
  return file;
}

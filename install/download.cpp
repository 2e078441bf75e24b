#include "install/download.h"

#include "app/status_slot.h"
#include "app/worker_access.h"
#include "install/number_text.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr uint32_t kReadsPerCancelTest = 16;

}  // namespace

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

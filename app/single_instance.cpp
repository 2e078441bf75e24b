#include "app/single_instance.h"

#include <wchar.h>

#include "app/control_ids.h"
#include "common/foreign_window.h"
#include "crypto/md5.h"
#include "common/same_path.h"
#include "common/text_convert.h"

void LowerAsciiInPlace(wchar_t* text) {
  for (; *text; ++text) {
    if (*text >= L'A' && *text <= L'Z') *text = static_cast<wchar_t>(*text + (L'a' - L'A'));
  }
}

WStr MakeInstanceKey(const WStr& text) {
  if (text.empty()) return WStr();
  ByteStr utf8 = WideToMultiByte(text, CP_UTF8);
  if (utf8.empty()) return WStr();
  return MultiByteToWide(MD5Hex(utf8.c_str(), utf8.size()), CP_UTF8);
}

BOOL CALLBACK ActivateRunningSetup(HWND window, LPARAM context) {
  const wchar_t* setupPath = reinterpret_cast<const wchar_t*>(context);
  WStr path = ProcessPathOfWindow(window);
  if (path.empty() || !SamePath(path.c_str(), setupPath)) return TRUE;
  // With a limit: a second start facing a hung first one ends rather than
  // hang beside it.
  DWORD_PTR answer = 0;
  if (!SendWithinLimit(window, kMsgActivationQuery, 0, 0, &answer) ||
      (answer & kActivationRefused)) {
    return TRUE;
  }
  COPYDATASTRUCT request = {};
  request.dwData = COPYDATA_ACTIVATE;
  SendWithinLimit(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&request), &answer);
  return TRUE;
}

#include "install/download_file.h"

#include <wchar.h>

#include "app/status_slot.h"
#include "install/error_text.h"

FILE* CreateDownloadFile(HWND page, const WStr& path, const WStr& reportedPath) {
  FILE* file = nullptr;
  if (path.empty() || _wfopen_s(&file, path.c_str(), L"wb") != 0 || !file) {
    WStr reason = LastErrorText();
    PostStatus(page, 0, kStatusFailed, L"创建 “%s” 失败！\r\n%s", reportedPath.c_str(),
               reason.c_str());
    return nullptr;
  }
  return file;
}

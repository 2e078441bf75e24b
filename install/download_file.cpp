#include "install/download_file.h"

#include <wchar.h>

#include "install/error_text.h"

FILE* CreateDownloadFile(const WorkerInputs& inputs, ReportId notCreated, const WStr& path,
                         const WStr& reportedPath) {
  FILE* file = nullptr;
  if (path.empty() || _wfopen_s(&file, path.c_str(), L"wb") != 0 || !file) {
    WStr reason = LastErrorText();
    Send(inputs, notCreated, reportedPath.c_str(), reason.c_str());
    return nullptr;
  }
  return file;
}

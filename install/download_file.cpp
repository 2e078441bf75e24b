#include "install/download_file.h"

#include <wchar.h>

#include "install/error_text.h"

FILE* CreateDownloadFile(const WorkerInputs& inputs, const DownloadJob& job, const WStr& path,
                         bool append) {
  FILE* file = nullptr;
  if (path.empty() || _wfopen_s(&file, path.c_str(), append ? L"ab" : L"wb") != 0 || !file) {
    WStr reason = LastErrorText();
    Send(inputs, job.notCreated, job.path.c_str(), reason.c_str(), job.failureLine);
    return nullptr;
  }
  return file;
}

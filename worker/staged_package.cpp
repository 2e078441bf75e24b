#include "worker/staged_package.h"

#include <windows.h>

#include "common/ensure_folder.h"
#include "common/same_path.h"
#include "common/scoped.h"
#include "fetch/download_resume.h"
#include "common/error_text.h"

namespace {

// The folder part of a path, without its last separator.
WStr ParentOf(const WStr& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] != L'\\') --end;
  return end > 0 ? path.Substr(0, end - 1) : WStr();
}

}  // namespace

StagedPackage::StagedPackage(const WorkerInputs& inputs, const WStr& relativePath)
    : inputs_(inputs), relativePath_(relativePath) {
  staged_ = InstallFolder(inputs.stagingFolder).Path(relativePath.c_str());
}

namespace {

// The folders the download made, up to the staging folder itself; one that
// still holds something stays.
void RemoveStagingFolders(const WorkerInputs& inputs, const WStr& staged) {
  WStr folder = ParentOf(staged);
  WStr top = ParentOf(InstallFolder(inputs.stagingFolder).Path(L""));
  while (!folder.empty() && folder.size() >= top.size()) {
    if (!RemoveDirectoryW(folder.c_str())) break;
    folder = ParentOf(folder);
  }
}

}  // namespace

StagedPackage::~StagedPackage() {
  if (!inputs_.stagingIsScratch || staged_.empty()) return;
  // A run that failed on its own keeps what it fetched for the retry;
  // RemoveStagedDownloads takes it away when the setup ends.
  if (!placed_ && CancelSet(inputs_)) DiscardPart(staged_);
  RemoveStagingFolders(inputs_, staged_);
}

void RemoveStagedDownloads(const WorkerInputs& inputs) {
  if (!inputs.stagingIsScratch) return;
  // Any name under the folder the packages land in.
  WStr staged = InstallFolder(inputs.stagingFolder).Path(L"download\\Quelda.zip");
  if (staged.empty()) return;
  // Every package of the setup's own folder, whatever version it was for.
  WStr pattern = ParentOf(staged);
  pattern.Append(L"\\*");
  WIN32_FIND_DATAW found;
  ScopedFind search(FindFirstFileW(pattern.c_str(), &found));
  if (search) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      WStr file = ParentOf(staged);
      file.Append(L'\\');
      file.Append(found.cFileName);
      DeleteFileW(file.c_str());
    } while (FindNextFileW(search.get(), &found));
  }
  search.Reset();
  RemoveStagingFolders(inputs, staged);
}

bool StagedPackage::Place(const InstallFolder& installFolder, CheckedPackage* package) {
  WStr target = installFolder.Path(relativePath_.c_str());
  if (target.empty()) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    WStr reason = LastErrorText();
    Send(inputs_, ReportId::kPackageNotCreated, relativePath_.c_str(), reason.c_str(),
         kInstallationIntact);
    return false;
  }
  if (SamePath(target.c_str(), staged_.c_str())) return true;
  // An open file could not be moved, nor copied away when the folder lies
  // on another drive.
  package->archive.Reset();
  EnsureFolder(target.c_str());
  if (!MoveFileExW(staged_.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
    WStr reason = LastErrorText();
    Send(inputs_, ReportId::kPackageNotCreated, target.c_str(), reason.c_str(),
         kInstallationIntact);
    return false;
  }
  placed_ = true;
  if (!ReopenPackage(target.c_str(), package)) {
    Send(inputs_, ReportId::kNotAZip, kInstallationIntact);
    return false;
  }
  return true;
}

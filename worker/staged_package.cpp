#include "worker/staged_package.h"

#include <windows.h>

#include "common/same_path.h"
#include "common/scoped.h"
#include "disk/file_system.h"
#include "fetch/download_resume.h"

namespace {

// The folder part of a path, without its last separator.
WStr ParentOf(const WStr& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] != L'\\') --end;
  return end > 0 ? path.Substr(0, end - 1) : WStr();
}

}  // namespace

StagedPackage::StagedPackage(const WStr& stagingFolder, bool stagingIsScratch,
                             const WStr& relativePath)
    : stagingFolder_(stagingFolder), scratch_(stagingIsScratch), relativePath_(relativePath) {
  staged_ = stagingFolder_.Path(relativePath.c_str());
}

namespace {

// The folders the download made, up to the staging folder itself; one that
// still holds something stays.
void RemoveStagingFolders(const InstallFolder& stagingFolder, const WStr& staged) {
  WStr folder = ParentOf(staged);
  WStr top = ParentOf(stagingFolder.Path(L""));
  while (!folder.empty() && folder.size() >= top.size()) {
    if (!FsRemoveFolder(folder.c_str())) break;
    folder = ParentOf(folder);
  }
}

}  // namespace

StagedPackage::~StagedPackage() {
  // A part kept for the retry stays; RemoveStagedDownloads takes it away
  // when the setup ends.
  if (scratch_ && !staged_.empty()) RemoveStagingFolders(stagingFolder_, staged_);
}

void StagedPackage::Discard() {
  if (scratch_ && !placed_ && !staged_.empty()) DiscardPart(staged_);
}

void RemoveStagedDownloads(const WStr& stagingFolder, bool stagingIsScratch) {
  if (!stagingIsScratch) return;
  InstallFolder staging(stagingFolder);
  // Any name under the folder the packages land in.
  WStr staged = staging.Path(L"download\\Quelda.zip");
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
      FsDelete(file.c_str());
    } while (FindNextFileW(search.get(), &found));
  }
  search.Reset();
  RemoveStagingFolders(staging, staged);
}

Outcome StagedPackage::Place(const InstallFolder& installFolder, CheckedPackage* package) {
  WStr target = installFolder.Path(relativePath_.c_str());
  if (target.empty()) {
    return Outcome::FailedWithError(ReportId::kPackageNotCreated, ERROR_FILENAME_EXCED_RANGE,
                                    relativePath_.c_str());
  }
  if (SamePath(target.c_str(), staged_.c_str())) return Outcome::Done();
  // An open file could not be moved, nor copied away when the folder lies
  // on another drive.
  package->archive.Reset();
  FsEnsureFolder(target.c_str());
  if (!FsReplaceFile(staged_.c_str(), target.c_str())) {
    return Outcome::FailedWithError(ReportId::kPackageNotCreated, GetLastError(), target.c_str());
  }
  placed_ = true;
  if (!ReopenPackage(target.c_str(), package)) return Outcome::Failed(ReportId::kNotAZip);
  return Outcome::Done();
}

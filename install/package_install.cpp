#include "install/package_install.h"

#include <windows.h>
#include <utility>

#include "common/ensure_folder.h"
#include "install/backup_folder.h"
#include "install/close_app.h"
#include "install/demo_database.h"
#include "install/shortcuts.h"
#include "install/version_number.h"

namespace {

// The item's path under the install folder with backslashes throughout
// (the shell's file operations do not take forward slashes), without a
// trailing separator.
WStr TargetOf(const InstallFolder& installFolder, const wchar_t* itemName) {
  WStr target = installFolder.Path(itemName);
  for (size_t i = 0; i < target.size(); ++i) {
    if (target[i] == L'/') target[i] = L'\\';
  }
  while (target.size() > 3 && target.back() == L'\\') target.Resize(target.size() - 1);
  return target;
}

bool InstallItems(const WorkerInputs& inputs, ZipHandle* archive, int itemCount,
                  const InstallFolder& installFolder, const WStr& backupFolder) {
  for (int index = 0; index < itemCount; ++index) {
    ZipItem item{};
    bool described = GetArchiveItem(archive, index, &item) == 0;
    // "./" names the install folder itself, and asks for nothing.
    if (described && item.name[0] == 0 && (item.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    // An item that cannot be described, or whose name was refused, is
    // neither backed up nor extracted: its target could be the install
    // folder itself.
    if (!described || item.name[0] == 0) {
      Send(inputs, ReportId::kExtractFailed, item.name);
      return false;
    }
    WStr target = TargetOf(installFolder, item.name);
    if (target.empty()) {
      Send(inputs, ReportId::kExtractFailed, item.name);
      return false;
    }
    // A folder item over an existing folder moves nothing: the folder
    // holds the user's files, and files this run has already extracted
    // when the item comes after them.
    DWORD existing = GetFileAttributesW(target.c_str());
    bool folderOverFolder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            existing != INVALID_FILE_ATTRIBUTES &&
                            (existing & FILE_ATTRIBUTE_DIRECTORY);
    if (!backupFolder.empty() && existing != INVALID_FILE_ATTRIBUTES && !folderOverFolder &&
        MoveToBackup(target, backupFolder) != 0) {
      SendBackupFailure(inputs, target, backupFolder);
      return false;
    }
    if (ExtractArchiveItem(archive, index, target.c_str()) != 0) {
      Send(inputs, ReportId::kExtractFailed, item.name);
      return false;
    }
  }
  return true;
}

// The longest paths the installation will use, in the install folder and
// in the backup folder (with room for a backup's number), are within what
// Windows takes: a file's path within 259 characters, a folder's within 247
// (CreateDirectory keeps room for a short name). False after a failure
// report naming the item.
bool PathsFit(const WorkerInputs& inputs, ZipHandle* archive, const ArchiveFacts& facts,
              const InstallFolder& installFolder, const WStr& backupFolder) {
  constexpr size_t kFileChars = MAX_PATH - 1;
  constexpr size_t kFolderChars = MAX_PATH - 13;
  size_t folder = installFolder.Path(L"").size();
  int32_t tooLong = -1;
  if (folder == 0 || folder + facts.name.length > kFileChars) {
    tooLong = facts.name.index;
  } else if (facts.folder.length > 0 && folder + facts.folder.length - 1 > kFolderChars) {
    tooLong = facts.folder.index;
  } else if (!backupFolder.empty() &&
             backupFolder.size() + facts.lastName.length + kBackupNumberChars > kFileChars) {
    tooLong = facts.lastName.index;
  }
  if (tooLong < 0 && folder > 0) return true;
  ZipItem item{};
  if (tooLong >= 0) GetArchiveItem(archive, tooLong, &item);
  Send(inputs, ReportId::kExtractFailed, item.name);
  return false;
}

}  // namespace

void InstallPackage(const WorkerInputs& inputs, const InstallChoices& choices,
                    const InstallFolder& installFolder, CheckedPackage package) {
  WStr application = installFolder.Path(L"Quelda.exe");
  PackedVersion installed = GetProductVersion(application.c_str());
  // Without an installed application nothing is moved aside but the user's
  // database, which goes to Backup0.0.
  WStr versionBackup = BackupFolder(installFolder, installed);
  WStr backupFolder = installed != 0 ? versionBackup : WStr();
  if (!PathsFit(inputs, package.archive.get(), package.facts, installFolder, backupFolder)) {
    return;
  }
  WStr databasePart;
  if (choices.demoDatabase && !DownloadDemoDatabase(inputs, installFolder, &databasePart)) {
    return;
  }
  CloseRunningApp(application.c_str());

  // Only once the application has closed: it may hold its database open.
  if (!databasePart.empty() &&
      !ReplaceDatabase(inputs, installFolder.Path(L"Quelda.mdb"), databasePart, versionBackup)) {
    return;
  }
  if (!backupFolder.empty()) EnsureFolder(backupFolder.c_str());

  Send(inputs, ReportId::kUnpacking);
  bool installedAll =
      InstallItems(inputs, package.archive.get(), package.itemCount, installFolder, backupFolder);
  // Left open, the archive would keep the package file locked for a retry.
  package.archive.Reset();
  if (!installedAll) return;
  CreateShortcuts(choices, application);
  Send(inputs, ReportId::kFinished);
}

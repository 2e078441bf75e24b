#include "apply/apply_package.h"

#include <windows.h>
#include <utility>

#include "common/ensure_folder.h"
#include "apply/backup_folder.h"
#include "apply/close_app.h"
#include "apply/demo_database.h"
#include "common/error_text.h"
#include "common/number_text.h"
#include "apply/shortcuts.h"
#include "verify/manifest_trust.h"
#include "update/update_plan.h"
#include "update/update_journal.h"
#include "update/update_lock.h"
#include "update/update_switch.h"
#include "common/version_number.h"

namespace {

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
  Send(inputs, ReportId::kExtractFailed, item.name, kInstallationIntact);
  return false;
}

// Whether the install folder's drive has room for what the update writes
// before it switches; false after the failure report saying how much is
// needed and free. True when the system cannot tell.
bool RoomFor(const WorkerInputs& inputs, const InstallFolder& installFolder, uint64_t bytes) {
  ULARGE_INTEGER available = {};
  WStr folder = installFolder.Path(L"");
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr) ||
      bytes <= available.QuadPart) {
    return true;
  }
  auto kilobytes = [](uint64_t value) {
    uint64_t kb = (value + 1023) / 1024;
    return GroupThousands(DecimalText(kb > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(kb)));
  };
  Send(inputs, ReportId::kNoRoom, folder.c_str(), kilobytes(bytes).c_str(),
       kilobytes(available.QuadPart).c_str(), kInstallationIntact);
  return false;
}

// The part of the install folder's path that the journal and backups are
// named relative to.
WStr RelativeToFolder(const InstallFolder& installFolder, const WStr& path) {
  size_t base = installFolder.Path(L"").size();
  return path.size() > base ? path.Substr(base) : WStr();
}

}  // namespace

void InstallPackage(const WorkerInputs& inputs, const InstallChoices& choices,
                    const InstallFolder& installFolder, const Manifest& declared,
                    CheckedPackage package) {
  WStr application = installFolder.Path(L"Quelda.exe");
  PackedVersion installed = GetProductVersion(application.c_str());
  // Also without an installed version: a file that is there is never
  // replaced without a backup, in Backup0.0 then.
  WStr backupFolder = BackupFolder(installFolder, installed);
  if (!PathsFit(inputs, package.archive.get(), package.facts, installFolder,
                installed != 0 ? backupFolder : WStr())) {
    return;
  }
  // One setup at a time changes the folder.
  UpdateLock lock(installFolder);
  if (!lock.held()) {
    SetLastError(ERROR_SHARING_VIOLATION);
    WStr reason = LastErrorText();
    Send(inputs, ReportId::kBackupFailed, installFolder.Path(L"").c_str(), backupFolder.c_str(),
         reason.c_str(), kInstallationIntact);
    return;
  }
  // What an earlier run left unfinished here is finished first, before a
  // demo database arrives under the name that run may have staged its own,
  // and once the application, which may hold the files, has closed.
  WStr unfinished;
  if (HasUnfinishedUpdate(installFolder)) {
    CloseRunningApp(application.c_str());
    if (!FinishUnfinishedUpdate(installFolder, &unfinished)) {
      WStr reason = LastErrorText();
      Send(inputs, ReportId::kBackupFailed, unfinished.c_str(), backupFolder.c_str(),
           reason.c_str(), kInstallationPending);
      return;
    }
  }
  // The folder is known only now in install mode; under the lock, so that
  // no other setup raises the serial meanwhile.
  if (!SerialTakenHere(inputs, installFolder, declared, kInstallationIntact)) return;
  WStr databasePart;
  if (choices.demoDatabase &&
      !DownloadDemoDatabase(inputs, installFolder, declared, &databasePart)) {
    return;
  }
  // Only a file is a database to keep: a folder of its name fails the run
  // before anything changes.
  WStr database = installFolder.Path(L"Quelda.mdb");
  DWORD databaseAttributes = GetFileAttributesW(database.c_str());
  if (!databasePart.empty() && databaseAttributes != INVALID_FILE_ATTRIBUTES &&
      (databaseAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(databasePart.c_str());
    SetLastError(ERROR_DIRECTORY);
    WStr reason = LastErrorText();
    Send(inputs, ReportId::kDatabaseNotCreated, database.c_str(), reason.c_str(),
         kInstallationIntact);
    return;
  }
  Send(inputs, ReportId::kUnpacking);
  UpdatePlan plan;
  bool applied = PlanUpdate(inputs, installFolder, package.archive.get(), package.itemCount,
                            RelativeToFolder(installFolder, backupFolder),
                            RelativeToFolder(installFolder, databasePart), &plan) &&
                 RoomFor(inputs, installFolder, plan.stagedBytes);
  // As late as can be, so that the user's work is held up least; before
  // the files it may hold are tried.
  if (applied) CloseRunningApp(application.c_str());
  applied = applied && TargetsAreFree(inputs, installFolder, plan) &&
            ApplyUpdate(inputs, installFolder, package, &plan);
  // Left open, the archive would keep the package file locked for a retry.
  package.archive.Reset();
  if (!applied) {
    // A demo database that did not take the user's place goes, unless a
    // journal still counts on it to finish the run.
    if (!databasePart.empty() && !JournalExists(installFolder)) DeleteFileW(databasePart.c_str());
    return;
  }
  RecordSerial(inputs, installFolder, declared);
  CreateShortcuts(choices, application);
  Send(inputs, ReportId::kFinished);
}

#include "apply/apply_package.h"

#include <windows.h>
#include <utility>

#include "apply/backup_folder.h"
#include "apply/close_app.h"
#include "common/version_number.h"
#include "disk/file_system.h"
#include "disk/free_space.h"
#include "update/update_journal.h"
#include "update/update_plan.h"
#include "update/update_recovery.h"
#include "update/update_switch.h"

namespace {

// The longest paths the installation will use, in the install folder and
// in the backup folder (with room for a backup's number), are within what
// Windows takes: a file's path within 259 characters, a folder's within 247
// (CreateDirectory keeps room for a short name). The failure names the
// item.
Outcome PathsFit(ZipHandle* archive, const ArchiveFacts& facts, const InstallFolder& installFolder,
                 const WStr& backupFolder) {
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
  if (tooLong < 0 && folder > 0) return Outcome::Done();
  ZipItem item{};
  if (tooLong >= 0) GetArchiveItem(archive, tooLong, &item);
  return Outcome::Failed(ReportId::kExtractFailed, item.name);
}

// Whether the install folder's drive has room for what the update writes
// before it switches; the failure says how much is needed and free. Done
// when the system cannot tell.
Outcome RoomFor(const InstallFolder& installFolder, uint64_t bytes) {
  uint64_t available = 0;
  WStr folder = installFolder.Path(L"");
  if (!FreeSpaceAt(folder.c_str(), &available) || bytes <= available) return Outcome::Done();
  return NoRoomFailure(folder.c_str(), bytes, available);
}

// The part of the install folder's path that the journal and backups are
// named relative to.
WStr RelativeToFolder(const InstallFolder& installFolder, const WStr& path) {
  size_t base = installFolder.Path(L"").size();
  return path.size() > base ? path.Substr(base) : WStr();
}

}  // namespace

PackageApplier::PackageApplier(const InstallFolder& installFolder)
    : folder_(installFolder),
      application_(installFolder.Path(L"Quelda.exe")),
      lock_(installFolder) {
  PackedVersion version = GetProductVersion(application_.c_str());
  installed_ = version != 0;
  // Also without an installed version: a file that is there is never
  // replaced without a backup, in Backup0.0 then.
  backupFolder_ = BackupFolder(installFolder, version);
}

Outcome PackageApplier::Prepare(ZipHandle* archive, const ArchiveFacts& facts) {
  Outcome fit = PathsFit(archive, facts, folder_, installed_ ? backupFolder_ : WStr());
  if (!fit.done()) return fit;
  if (!lock_.held()) {
    return Outcome::FailedWithError(ReportId::kBackupFailed, ERROR_SHARING_VIOLATION,
                                    folder_.Path(L"").c_str(), backupFolder_.c_str());
  }
  // What an earlier run left unfinished here is finished first, before a
  // demo database arrives under the name that run may have staged its own,
  // and once the application, which may hold the files, has closed.
  // A journal that is none of this setup's is not acted on, and nothing
  // here changes while it lies there.
  if (HasForeignJournal(folder_)) {
    return Outcome::FailedWithError(ReportId::kBackupFailed, ERROR_INVALID_DATA,
                                    folder_.Path(kJournalPath).c_str(), backupFolder_.c_str());
  }
  if (HasUnfinishedUpdate(folder_)) {
    CloseRunningApp(application_.c_str());
    WStr unfinished;
    if (!FinishUnfinishedUpdate(folder_, &unfinished)) {
      return Outcome::FailedWithError(ReportId::kBackupFailed, GetLastError(), unfinished.c_str(),
                                      backupFolder_.c_str())
          .LeftPending();
    }
  }
  return Outcome::Done();
}

Outcome PackageApplier::CheckDatabasePlace(const WStr& databasePart) {
  // Only a file is a database to keep: a folder of its name fails the run
  // before anything changes.
  WStr database = folder_.Path(L"Quelda.mdb");
  DWORD databaseAttributes = GetFileAttributesW(database.c_str());
  if (databasePart.empty() || databaseAttributes == INVALID_FILE_ATTRIBUTES ||
      !(databaseAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Outcome::Done();
  }
  FsDelete(databasePart.c_str());
  return Outcome::FailedWithError(ReportId::kDatabaseNotCreated, ERROR_DIRECTORY, database.c_str());
}

Outcome PackageApplier::Install(ScopedArchive archive, int itemCount, const WStr& packagePath,
                                const WStr& databasePart) {
  UpdatePlan plan;
  Outcome outcome =
      PlanUpdate(folder_, archive.get(), itemCount, RelativeToFolder(folder_, backupFolder_),
                 RelativeToFolder(folder_, databasePart), &plan);
  if (outcome.done()) outcome = RoomFor(folder_, plan.stagedBytes);
  // As late as can be, so that the user's work is held up least; before
  // the files it may hold are tried.
  if (outcome.done()) {
    CloseRunningApp(application_.c_str());
    outcome = TargetsAreFree(folder_, plan);
  }
  if (outcome.done()) outcome = ApplyUpdate(folder_, archive.get(), packagePath, &plan);
  // Left open, the archive would keep the package file locked for a retry.
  archive.Reset();
  // A demo database that did not take the user's place goes, unless a
  // journal still counts on it to finish the run.
  if (!outcome.done() && !databasePart.empty() && !JournalExists(folder_)) {
    FsDelete(databasePart.c_str());
  }
  return outcome;
}

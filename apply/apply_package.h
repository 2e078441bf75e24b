#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "report/outcome.h"
#include "update/update_lock.h"
#include "zip/unzipper.h"

// The installation into the chosen folder after the user's go-ahead, in
// two halves around what the pipeline fetches and checks in between (the
// serial under the folder's lock, the demo database). One setup at a time
// changes the folder: the lock is held from Prepare for as long as this
// lives.
class PackageApplier {
 public:
  explicit PackageApplier(const InstallFolder& installFolder);
  PackageApplier(const PackageApplier&) = delete;
  PackageApplier& operator=(const PackageApplier&) = delete;

  // Before anything changes: every path the installation will use fits,
  // the folder's lock is held, and what an earlier run left unfinished
  // there is finished (a failure of that leaves the folder pending).
  Outcome Prepare(ZipHandle* archive, const ArchiveFacts& facts);

  // The whole demo database at databasePart (when given) may take the
  // user's database's place: that is a file or nothing. On failure the
  // demo database is deleted.
  Outcome CheckDatabasePlace(const WStr& databasePart);

  // Every item of the archive (and the whole demo database at
  // databasePart, when given) put in place all or nothing: a demo database
  // that did not take the user's database's place goes, unless a journal
  // still counts on it. The archive is closed on return.
  Outcome Install(ScopedArchive archive, int itemCount, const WStr& packagePath,
                  const WStr& databasePart);

  // "Quelda.exe" in the folder.
  const WStr& application() const { return application_; }

 private:
  const InstallFolder& folder_;
  WStr application_;
  // Whether Quelda.exe there has a version (a backup folder is needed).
  bool installed_ = false;
  // "Update\Backup<installed version>\", full.
  WStr backupFolder_;
  UpdateLock lock_;
};

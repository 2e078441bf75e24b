#pragma once

#include <stdint.h>

#include "common/str.h"
#include "common/vec.h"
#include "disk/install_folder.h"
#include "update/update_journal.h"
#include "report/outcome.h"
#include "zip/unzipper.h"

// What an update will do, worked out before anything changes: the steps of
// its switch, and for each the package item it stages.
struct UpdatePlan {
  Journal journal;
  // The folders of the setup's own names under "Update\Incoming\"
  // (relative), made before anything goes in them.
  Vec<WStr> ownFolders;
  // What the staged files and the journal take on disk, each file counted
  // in whole clusters of the drive.
  uint64_t stagedBytes = 0;
  // "Update\Backup<version>\".
  WStr backupFolder;
};

// The plan for installing every item of the archive into the folder, with
// the whole demo database (databasePart, relative; empty for none) in the
// place of the user's database file. Each file or folder that is in the way is backed up
// in backupFolder (relative, with its separator) under a name free there
// and not taken by this run, or, when that folder already holds a copy
// byte for byte, set aside to be dropped. Nothing is changed.
Outcome PlanUpdate(const InstallFolder& installFolder, ZipHandle* archive, int itemCount,
                   const WStr& backupFolder, const WStr& databasePart, UpdatePlan* plan);

// Whether every file or folder the switch moves can be moved now: none is
// held by another program (a scanner's brief hold is waited out). The
// failure (备份 “%s” 至 “%s” 失败！) names the first that is held, and the
// program that holds it where the system can tell.
Outcome TargetsAreFree(const InstallFolder& installFolder, const UpdatePlan& plan);

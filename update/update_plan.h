#pragma once

#include <stdint.h>

#include "common/str.h"
#include "common/vec.h"
#include "disk/install_folder.h"
#include "update/update_journal.h"
#include "worker/worker_inputs.h"
#include "zip/unzipper.h"

// What an update will do, worked out before anything changes: the steps of
// its switch, and for each the package item it stages.
struct UpdatePlan {
  Journal journal;
  // By step: the item whose data is staged, or -1.
  Vec<int32_t> items;
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
// byte for byte, set aside to be dropped. False after a failure report,
// with nothing changed.
bool PlanUpdate(const WorkerInputs& inputs, const InstallFolder& installFolder, ZipHandle* archive,
                int itemCount, const WStr& backupFolder, const WStr& databasePart,
                UpdatePlan* plan);

// Whether every file or folder the switch moves can be moved now: none is
// held by another program (a scanner's brief hold is waited out). False
// after the failure report (备份 “%s” 至 “%s” 失败！) naming the first
// that is held, and the program that holds it where the system can tell.
bool TargetsAreFree(const WorkerInputs& inputs, const InstallFolder& installFolder,
                    const UpdatePlan& plan);

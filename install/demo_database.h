#pragma once

#include "common/str.h"
#include "install/install_folder.h"
#include "install/worker_inputs.h"

// The demo database arrives beside the user's database and in part: only a
// whole one is named in *part, for ReplaceDatabase. One that breaks off is
// no failure; it is deleted, and the user's database stays as it was.
// False after a failure report.
bool DownloadDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          WStr* part);

// Puts the whole demo database in the place of the user's, which goes into
// the backup folder first; false after a failure report, with the user's
// database where it was and the part deleted.
bool ReplaceDatabase(const WorkerInputs& inputs, const WStr& database, const WStr& part,
                     const WStr& backupFolder);

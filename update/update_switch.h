#pragma once

#include "disk/install_folder.h"
#include "report/outcome.h"
#include "update/update_plan.h"
#include "zip/unzipper.h"

// Carries out a plan all or nothing: the journal first, then every new file
// written whole (and flushed) under the setup's own name in the install
// folder, then the switch, renames only: each old file into the backup
// folder, each new one into its place. A failure on the way undoes it in
// reverse order, so that the folder is the previous version again, byte
// for byte, with its times and attributes; a failure whose undo could not
// be finished leaves the folder pending; an item whose data does not
// extract fails it as a package that is no valid zip. The archive at
// packagePath is read by a second reader of its own.
Outcome ApplyUpdate(const InstallFolder& installFolder, ZipHandle* archive, const WStr& packagePath,
                    UpdatePlan* plan);

#pragma once

#include "common/str.h"
#include "install/install_folder.h"
#include "install/worker_inputs.h"

// The demo database arrives beside the user's database and in part: only a
// whole one is named in *part, for the update to put in the user's
// database's place. One that breaks off is
// no failure; it is deleted, and the user's database stays as it was.
// False after a failure report.
bool DownloadDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          WStr* part);

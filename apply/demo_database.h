#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "verify/version_manifest.h"
#include "worker/worker_inputs.h"

// The demo database arrives beside the user's database and in part: only a
// whole one, and the one the manifest declares when it declares one, is
// named in *part, for the update to put in the user's database's place.
// One that breaks off is no failure; it is deleted, and the user's database
// stays as it was. A setup with keys fetches none that the manifest does
// not declare. False after a failure report.
bool DownloadDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          const Manifest& declared, WStr* part);

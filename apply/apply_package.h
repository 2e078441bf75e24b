#pragma once

#include "disk/install_folder.h"
#include "verify/package_check.h"
#include "verify/version_manifest.h"
#include "worker/worker_inputs.h"

// The installation after the user's go-ahead into the chosen folder: the
// demo database when asked for, closing a running application, moving what
// the package replaces into the backup folder, extracting every item, the
// shortcuts, and the finish report. The archive is closed before the
// shortcuts are made, or on the failure that ends the run. An item whose
// path would be too long in this install folder fails the run before
// anything changes, and so does, for a setup with keys, a manifest older
// than the one the installation took last.
void InstallPackage(const WorkerInputs& inputs, const InstallChoices& choices,
                    const InstallFolder& installFolder, const Manifest& declared,
                    CheckedPackage package);

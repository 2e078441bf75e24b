#pragma once

#include <stdint.h>

#include "disk/install_folder.h"
#include "verify/version_manifest.h"
#include "worker/worker_inputs.h"

// The manifest the worker goes by, fetched and read. A setup with keys
// fetches its signature too, and takes the manifest only when one of its
// keys verifies that signature over the very bytes it reads, when the
// manifest declares the package's size and SHA-256 and its serial, and, in
// update mode, when that serial is not lower than the installation's.
// Without keys any manifest goes (one that cannot be read gives version 0).
// False after the failure report, or at once on a cancel.
bool FetchTrustedManifest(const WorkerInputs& inputs, Manifest* manifest);

// Whether the installation in the folder may take a signed manifest of that
// serial; false after the failure report, which ends with lastLine when
// given. Always true for a setup without keys.
bool SerialTakenHere(const WorkerInputs& inputs, const InstallFolder& folder,
                     const Manifest& manifest, const wchar_t* lastLine);

// Keeps the manifest's serial in the folder, for a setup with keys.
void RecordSerial(const WorkerInputs& inputs, const InstallFolder& folder,
                  const Manifest& manifest);

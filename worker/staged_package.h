#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "verify/package_check.h"
#include "worker/worker_inputs.h"

// What the runs of a setup left in its scratch staging folder's
// download\ (a part kept for a retry), removed when the setup ends.
// Nothing outside that folder is touched.
void RemoveStagedDownloads(const WorkerInputs& inputs);

// The package file from its download, before the user has chosen a folder,
// to its place under the chosen one. Before the go-ahead it lands under
// the worker's staging folder; a scratch folder of the setup's own is
// removed again with whatever of the package is still in it, so that
// nothing is left in a folder the user did not choose.
class StagedPackage {
 public:
  StagedPackage(const WorkerInputs& inputs, const WStr& relativePath);
  StagedPackage(const StagedPackage&) = delete;
  StagedPackage& operator=(const StagedPackage&) = delete;
  ~StagedPackage();

  // Where the download goes; empty when the staging folder has no room.
  const WStr& path() const { return staged_; }

  // At the go-ahead: moves the checked package to its relative path under
  // the install folder (a file of that name is replaced) and opens it there
  // again. False after a failure report, with nothing open.
  bool Place(const InstallFolder& installFolder, CheckedPackage* package);

 private:
  const WorkerInputs& inputs_;
  WStr relativePath_;
  WStr staged_;
  bool placed_ = false;
};

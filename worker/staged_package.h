#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "report/outcome.h"
#include "verify/package_check.h"

// What the runs of a setup left in its scratch staging folder's
// download\ (a part kept for a retry), removed when the setup ends.
// Nothing outside that folder is touched.
void RemoveStagedDownloads(const WStr& stagingFolder, bool stagingIsScratch);

// The package file from its download, before the user has chosen a folder,
// to its place under the chosen one. Before the go-ahead it lands under
// the worker's staging folder; in a scratch folder of the setup's own, the
// folders the download made are removed again once they are empty, so that
// nothing is left in a folder the user did not choose. What becomes of the
// package itself the pipeline decides, from the run's outcome.
class StagedPackage {
 public:
  StagedPackage(const WStr& stagingFolder, bool stagingIsScratch, const WStr& relativePath);
  StagedPackage(const StagedPackage&) = delete;
  StagedPackage& operator=(const StagedPackage&) = delete;
  ~StagedPackage();

  // Where the download goes; empty when the staging folder has no room.
  const WStr& path() const { return staged_; }

  // A run the user stopped takes what it fetched into the scratch folder
  // with it (a run that failed by itself keeps it for the retry). The
  // package must be closed.
  void Discard();

  // At the go-ahead: moves the checked package to its relative path under
  // the install folder (a file of that name is replaced) and opens it there
  // again. Nothing is open after a failure.
  Outcome Place(const InstallFolder& installFolder, CheckedPackage* package);

 private:
  InstallFolder stagingFolder_;
  bool scratch_;
  WStr relativePath_;
  WStr staged_;
  bool placed_ = false;
};

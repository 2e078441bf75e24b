#pragma once

#include <windows.h>

#include "common/str.h"
#include "disk/install_folder.h"
#include "update/update_journal.h"

// Where a step failed: the path, whether it was the backup's move, and the
// package item being staged, when one was.
struct StepFailure {
  WStr path;
  bool backingUp = false;
  DWORD error = 0;
  WStr itemName;
  // An item's data did not extract (its length or CRC): the package is
  // damaged, not the disk.
  bool packageDamaged = false;
};

// Records the thread's last error against path; false, for a return.
bool Fail(StepFailure* failure, const WStr& path, bool backingUp);

bool Exists(const WStr& path);
bool IsFolder(const WStr& path);

// Makes the step, or, after a run ended part-way (fresh false), what of it
// is not yet made.
bool MakeStep(const InstallFolder& folder, const SwitchStep& step, bool fresh,
              StepFailure* failure);

// Whether a tree step, made, left its staged folder: it was not moved
// whole, and the steps in it are to be made one by one.
bool PlacedPartByPart(const InstallFolder& folder, const SwitchStep& step);

// Every step taken back, the last first; then the setup's own files, but
// only once the journal says that the run is being undone.
bool UndoAll(const InstallFolder& folder, Journal* journal, StepFailure* failure);

// A folder of the setup's own, made unless it is there.
bool MakeOwnFolder(const WStr& path, StepFailure* failure);

// A file of the setup's own deleted, also when it is read-only; true when
// it is gone.
bool DeleteFileOfOurs(const WStr& path);

// Removes the setup's own names: the staged files still there (undone),
// what was set aside (forward), the folder that held them and the journal.
bool RemoveOurFiles(const InstallFolder& folder, const Journal& journal, bool undone);

#include "update/update_recovery.h"

#include "update/switch_steps.h"
#include "update/update_journal.h"

bool HasUnfinishedUpdate(const InstallFolder& installFolder) {
  return JournalExists(installFolder) || Exists(installFolder.Path(kIncomingFolder)) ||
         Exists(installFolder.Path(kDatabasePart)) || Exists(installFolder.Path(kUpdateFolderPart));
}

bool HasForeignJournal(const InstallFolder& installFolder) {
  Journal journal;
  return JournalExists(installFolder) && !ReadJournal(installFolder, &journal);
}

bool FinishUnfinishedUpdate(const InstallFolder& installFolder, WStr* what) {
  Journal journal;
  StepFailure failure;
  bool finished;
  if (!ReadJournal(installFolder, &journal)) {
    // One that cannot be read is no journal of this setup's: left alone.
    if (JournalExists(installFolder)) {
      SetLastError(ERROR_INVALID_DATA);
      failure.path = installFolder.Path(kJournalPath);
      finished = false;
    } else {
      // Without a journal nothing in the folder was changed: only staged
      // files of a run ended before its journal was written may be left,
      // and a demo database that arrived for it.
      WStr part = installFolder.Path(kDatabasePart);
      finished = (!Exists(part) || DeleteFileOfOurs(part) || Fail(&failure, part, false)) &&
                 ((!IsFolder(installFolder.Path(kIncomingFolder)) &&
                   !IsFolder(installFolder.Path(kUpdateFolderPart))) ||
                  RemoveOurFiles(installFolder, journal, false) ||
                  Fail(&failure, installFolder.Path(kIncomingFolder), false));
    }
  } else if (journal.switched) {
    finished = RemoveOurFiles(installFolder, journal, false) ||
               Fail(&failure, installFolder.Path(kIncomingFolder), false);
  } else {
    bool forward = journal.staged && !journal.undoing;
    finished = forward;
    for (size_t i = 0; finished && i < journal.steps.size(); ++i) {
      finished = MakeStep(installFolder, journal.steps[i], false, &failure);
    }
    if (finished) {
      finished = MarkJournal(installFolder, JournalMark::kSwitched) &&
                 (RemoveOurFiles(installFolder, journal, false) || true);
      if (!finished) Fail(&failure, installFolder.Path(kJournalPath), false);
    }
    if (!finished) finished = UndoAll(installFolder, &journal, &failure);
  }
  if (!finished) {
    if (what) *what = failure.path;
    SetLastError(failure.error);
  }
  return finished;
}

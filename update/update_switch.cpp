#include "update/update_switch.h"

#include <windows.h>

#include "common/scoped.h"
#include "disk/fault_point.h"
#include "disk/file_system.h"

namespace {

DWORD AttributesOf(const WStr& path) { return GetFileAttributesW(path.c_str()); }
bool Exists(const WStr& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }
bool IsFolder(const WStr& path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct StepPaths {
  WStr target, backup, staged;
};

StepPaths Full(const InstallFolder& folder, const SwitchStep& step) {
  StepPaths paths;
  paths.target = folder.Path(step.target.c_str());
  if (!step.backup.empty()) paths.backup = folder.Path(step.backup.c_str());
  if (step.kind == StepKind::kFile) paths.staged = folder.Path(step.staged.c_str());
  return paths;
}

// Where a step failed: the path, and whether it was the backup's move.
struct StepFailure {
  WStr path;
  bool backingUp = false;
  DWORD error = 0;
};

bool Fail(StepFailure* failure, const WStr& path, bool backingUp) {
  failure->error = GetLastError();
  failure->path = path;
  failure->backingUp = backingUp;
  return false;
}

// Makes the step, or, after a run ended part-way, what of it is not yet
// made: read off the disk, so that a run ended between any two renames goes
// on where it stopped. A fresh step, of the run that planned it, is made as
// planned without looking: under Wine a look for a name that is not there
// reads the whole folder, and the backup folder holds thousands.
bool MakeStep(const InstallFolder& folder, const SwitchStep& step, bool fresh,
              StepFailure* failure) {
  StepPaths p = Full(folder, step);
  if (!step.backup.empty() && (fresh || (!Exists(p.backup) && Exists(p.target))) &&
      !FsMove(p.target.c_str(), p.backup.c_str())) {
    return Fail(failure, p.target, true);
  }
  if (step.kind == StepKind::kFile) {
    if ((fresh || Exists(p.staged)) && !FsMove(p.staged.c_str(), p.target.c_str())) {
      return Fail(failure, p.target, false);
    }
  } else if ((fresh || !IsFolder(p.target)) && !FsMakeFolder(p.target.c_str())) {
    return Fail(failure, p.target, false);
  }
  return true;
}

// Takes back what of the step is made. A new file goes back to its staged
// name (removed with the rest), a folder the run made is removed, and what
// was backed up returns.
bool UndoStep(const InstallFolder& folder, const SwitchStep& step, StepFailure* failure) {
  StepPaths p = Full(folder, step);
  bool backedUp = step.backup.empty() || Exists(p.backup);
  if (step.kind == StepKind::kFile) {
    if (backedUp && !Exists(p.staged) && Exists(p.target) &&
        !FsMove(p.target.c_str(), p.staged.c_str())) {
      return Fail(failure, p.target, false);
    }
  } else if (backedUp && IsFolder(p.target) && !FsRemoveFolder(p.target.c_str())) {
    // A folder the user has put files in meanwhile stays, with them.
    if (!step.backup.empty() || GetLastError() != ERROR_DIR_NOT_EMPTY) {
      return Fail(failure, p.target, false);
    }
  }
  if (!step.backup.empty() && Exists(p.backup) && !Exists(p.target) &&
      !FsMove(p.backup.c_str(), p.target.c_str())) {
    return Fail(failure, p.target, true);
  }
  return true;
}

bool DeleteFileOfOurs(const WStr& path) {
  if (FsDelete(path.c_str())) return true;
  DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // A staged file keeps its item's attributes, read-only among them.
  return (attributes & FILE_ATTRIBUTE_READONLY) &&
         FsSetAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL) && FsDelete(path.c_str());
}

// Every file in the folder and in the folders in it, then the folders.
bool RemoveTreeOfOurs(const WStr& folder) {
  bool removed = true;
  WStr pattern = folder;
  pattern.Append(L"\\*");
  WIN32_FIND_DATAW found;
  ScopedFind search(FindFirstFileW(pattern.c_str(), &found));
  if (search) {
    do {
      if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0) continue;
      WStr path = folder;
      path.Append(L'\\');
      path.Append(found.cFileName);
      removed = ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveTreeOfOurs(path)
                                                                     : DeleteFileOfOurs(path)) &&
                removed;
    } while (FindNextFileW(search.get(), &found));
  }
  search.Reset();
  return (!IsFolder(folder) || FsRemoveFolder(folder.c_str())) && removed;
}

// Removes the setup's own names: the staged files still there (undo), what
// was set aside (forward), the folder that held them and the journal.
bool RemoveOurFiles(const InstallFolder& folder, const Journal& journal, bool undone) {
  bool removed = true;
  if (undone) {
    for (const SwitchStep& step : journal.steps) {
      if (step.kind != StepKind::kFile) continue;
      WStr staged = folder.Path(step.staged.c_str());
      if (Exists(staged)) removed = DeleteFileOfOurs(staged) && removed;
    }
  }
  removed = RemoveTreeOfOurs(folder.Path(kIncomingFolder)) && removed;
  WStr part = folder.Path(kJournalPath);
  part.Append(L".part");
  if (Exists(part)) removed = DeleteFileOfOurs(part) && removed;
  // A journal never renamed into place, with the folder that was to be
  // "Update\".
  WStr folderPart = folder.Path(kUpdateFolderPart);
  if (IsFolder(folderPart)) {
    WStr unplaced = folderPart;
    unplaced.Append(L"\\Update.journal");
    if (Exists(unplaced)) removed = DeleteFileOfOurs(unplaced) && removed;
    removed = FsRemoveFolder(folderPart.c_str()) && removed;
  }
  if (!removed) return false;
  if (JournalExists(folder) && !DeleteJournal(folder)) return false;
  if (journal.madeUpdateFolder) {
    // Only when nothing else is in it: an update that backed nothing up
    // leaves no trace of its own.
    FsRemoveFolder(folder.Path(L"Update").c_str());
  }
  return true;
}

// Every step taken back, the last first; then the setup's own files, but
// only once the journal says that the run is being undone: until then a
// run ended here goes forward, and needs every staged file for it.
bool UndoAll(const InstallFolder& folder, Journal* journal, StepFailure* failure) {
  if (journal->staged && !journal->undoing) {
    if (!MarkJournal(folder, JournalMark::kUndoing)) {
      Fail(failure, folder.Path(kJournalPath), false);
    } else {
      journal->undoing = true;
    }
  }
  if (journal->staged) {
    for (size_t i = journal->steps.size(); i > 0; --i) {
      if (!UndoStep(folder, journal->steps[i - 1], failure)) return false;
    }
  }
  if (journal->staged && !journal->undoing) return false;
  if (!RemoveOurFiles(folder, *journal, true)) {
    return Fail(failure, folder.Path(kIncomingFolder), false);
  }
  return true;
}

struct StageSink {
  HANDLE file;
  DWORD error;
};

bool WriteStaged(void* context, const void* data, uint32_t size) {
  StageSink* sink = static_cast<StageSink*>(context);
  if (FsWrite(sink->file, data, size)) return true;
  sink->error = GetLastError();
  return false;
}

// The item's data, whole and on disk, under its staged name.
bool StageItem(ZipHandle* archive, int32_t index, const WStr& staged, StepFailure* failure,
               ZipItem* item) {
  if (GetArchiveItem(archive, index, item) != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return Fail(failure, staged, false);
  }
  ScopedHandle file = FsCreateFile(staged.c_str(), item->attributes);
  if (!file) return Fail(failure, staged, false);
  StageSink sink = {file.get(), 0};
  ZipResult result = ExtractArchiveItemTo(archive, index, WriteStaged, &sink);
  if (result != ZipResult::Ok) {
    // The package was checked whole: what fails now is the disk, or the
    // package changed since.
    SetLastError(sink.error ? sink.error : ERROR_INVALID_DATA);
    return Fail(failure, staged, false);
  }
  if (!FsSetTimes(file.get(), &item->creationTime, &item->accessTime, &item->writeTime) ||
      !FsFlush(file.get())) {
    return Fail(failure, staged, false);
  }
  return true;
}

// A staged file that came whole from elsewhere (the demo database), made
// sure to be on disk.
bool FlushStaged(const WStr& staged, StepFailure* failure) {
  return FsFlushFile(staged.c_str()) || Fail(failure, staged, false);
}

bool MakeOwnFolder(const WStr& path, StepFailure* failure) {
  if (IsFolder(path) || FsMakeFolder(path.c_str())) return true;
  return Fail(failure, path, false);
}

// Runs the routine for both shares, the second on a thread of its own when
// one can be made, else here after the first. The first share that failed,
// or null.
template <typename Share>
Share* RunTwice(Share (&shares)[2], DWORD(WINAPI* routine)(void*), bool apart) {
  ScopedThread other(apart ? CreateThread(nullptr, 0, routine, &shares[1], 0, nullptr) : nullptr);
  routine(&shares[0]);
  if (other) {
    WaitForSingleObject(other.get(), INFINITE);
  } else {
    routine(&shares[1]);
  }
  for (Share& share : shares) {
    if (!share.made) return &share;
  }
  return nullptr;
}

// One of the switch's two threads: every other file step from first on,
// until one fails or the other thread's has.
struct SwitchShare {
  const InstallFolder* folder;
  const Journal* journal;
  size_t first;
  volatile LONG* stop;
  StepFailure failure;
  bool made;
};

DWORD WINAPI SwitchFiles(void* param) {
  SwitchShare& share = *static_cast<SwitchShare*>(param);
  SetFaultLane(static_cast<int>(share.first));
  const Vec<SwitchStep>& steps = share.journal->steps;
  for (size_t i = share.first; share.made && i < steps.size(); i += 2) {
    if (InterlockedCompareExchange(share.stop, 0, 0)) break;
    if (steps[i].kind != StepKind::kFile) continue;
    share.made = MakeStep(*share.folder, steps[i], true, &share.failure);
    if (!share.made) InterlockedExchange(share.stop, 1);
  }
  SetFaultLane(0);
  return 0;
}

// The switch: the folders first, in their order, then the files on two
// threads, in no order among them: most of a rename's time under Wine goes
// to its own look through the folders, which two processors share.
bool SwitchAll(const InstallFolder& folder, const Journal& journal, StepFailure* failure) {
  for (const SwitchStep& step : journal.steps) {
    if (step.kind == StepKind::kFolder && !MakeStep(folder, step, true, failure)) return false;
  }
  volatile LONG stop = 0;
  SwitchShare shares[2] = {{&folder, &journal, 0, &stop, {}, true},
                           {&folder, &journal, 1, &stop, {}, true}};
  SwitchShare* failed = RunTwice(shares, SwitchFiles, true);
  if (failed) *failure = failed->failure;
  return !failed;
}

// One of the staging's two threads: every other staged step from first
// on, with an archive reader of its own, until one fails or the other
// thread's has.
struct StageShare {
  const InstallFolder* folder;
  const UpdatePlan* plan;
  ZipHandle* archive;
  size_t first;
  volatile LONG* stop;
  StepFailure failure;
  WStr itemName;
  bool made;
};

DWORD WINAPI StageFiles(void* param) {
  StageShare& share = *static_cast<StageShare*>(param);
  SetFaultLane(static_cast<int>(share.first));
  const Vec<SwitchStep>& steps = share.plan->journal.steps;
  for (size_t i = share.first; share.made && i < steps.size(); i += 2) {
    if (InterlockedCompareExchange(share.stop, 0, 0)) break;
    if (steps[i].kind != StepKind::kFile) continue;
    WStr staged = share.folder->Path(steps[i].staged.c_str());
    int32_t item = steps[i].item;
    if (item < 0) {
      share.made = FlushStaged(staged, &share.failure);
    } else {
      ZipItem described{};
      share.made = StageItem(share.archive, item, staged, &share.failure, &described);
      if (!share.made) share.itemName = described.name;
    }
    if (!share.made) InterlockedExchange(share.stop, 1);
  }
  SetFaultLane(0);
  return 0;
}

// Every new file written whole, on two threads: inflating and making files
// keep one processor each busy.
bool StageAll(const InstallFolder& folder, const UpdatePlan& plan, ZipHandle* archive,
              const WStr& packagePath, StepFailure* failure, WStr* itemName) {
  volatile LONG stop = 0;
  ScopedArchive second(OpenArchiveFile(packagePath.c_str()));
  // Without a second reader both halves take turns on the one.
  ZipHandle* other = second ? second.get() : archive;
  StageShare shares[2] = {{&folder, &plan, archive, 0, &stop, {}, WStr(), true},
                          {&folder, &plan, other, 1, &stop, {}, WStr(), true}};
  StageShare* failed = RunTwice(shares, StageFiles, second.valid());
  if (failed) {
    *failure = failed->failure;
    *itemName = failed->itemName;
  }
  return !failed;
}

}  // namespace

Outcome ApplyUpdate(const InstallFolder& installFolder, ZipHandle* archive, const WStr& packagePath,
                    UpdatePlan* plan) {
  Journal& journal = plan->journal;
  StepFailure failure;
  WStr itemName;
  bool made = WriteJournal(installFolder, journal) ||
              Fail(&failure, installFolder.Path(kJournalPath), false);
  made = made && MakeOwnFolder(installFolder.Path(kIncomingFolder), &failure);
  // The groups of the setup's own names, before anything goes in them.
  for (size_t i = 0; made && i < plan->ownFolders.size(); ++i) {
    made = MakeOwnFolder(installFolder.Path(plan->ownFolders[i].c_str()), &failure);
  }
  made = made && StageAll(installFolder, *plan, archive, packagePath, &failure, &itemName);
  if (made && !MarkJournal(installFolder, JournalMark::kStaged)) {
    made = Fail(&failure, installFolder.Path(kJournalPath), false);
  }
  journal.staged = made;
  made = made && SwitchAll(installFolder, journal, &failure);
  if (made && MarkJournal(installFolder, JournalMark::kSwitched)) {
    // What is left is the setup's own; a run that cannot remove it now
    // leaves it to the next one, which finds the update made.
    RemoveOurFiles(installFolder, journal, false);
    return Outcome::Done();
  }
  if (made) failure = {installFolder.Path(kJournalPath), false, GetLastError()};

  // Back to the previous version.
  StepFailure undoFailure;
  bool undone = UndoAll(installFolder, &journal, &undoFailure);
  Outcome outcome =
      failure.backingUp
          ? Outcome::FailedWithError(ReportId::kBackupFailed, failure.error, failure.path.c_str(),
                                     installFolder.Path(plan->backupFolder.c_str()).c_str())
          : Outcome::FailedWithError(ReportId::kExtractFailed, failure.error,
                                     itemName.empty() ? failure.path.c_str() : itemName.c_str());
  if (!undone) outcome.LeftPending();
  return outcome;
}

bool HasUnfinishedUpdate(const InstallFolder& installFolder) {
  return JournalExists(installFolder) || Exists(installFolder.Path(kIncomingFolder)) ||
         Exists(installFolder.Path(kDatabasePart)) || Exists(installFolder.Path(kUpdateFolderPart));
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
      if (!finished) failure = {installFolder.Path(kJournalPath), false, GetLastError()};
    }
    if (!finished) finished = UndoAll(installFolder, &journal, &failure);
  }
  if (!finished) {
    if (what) *what = failure.path;
    SetLastError(failure.error);
  }
  return finished;
}

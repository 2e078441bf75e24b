#include "update/switch_steps.h"

#include <wchar.h>

#include "common/scoped.h"
#include "disk/file_system.h"

namespace {

DWORD AttributesOf(const WStr& path) { return GetFileAttributesW(path.c_str()); }

struct StepPaths {
  WStr target, backup, staged;
};

StepPaths Full(const InstallFolder& folder, const SwitchStep& step) {
  StepPaths paths;
  paths.target = folder.Path(step.target.c_str());
  if (!step.backup.empty()) paths.backup = folder.Path(step.backup.c_str());
  if (step.kind != StepKind::kFolder) paths.staged = folder.Path(step.staged.c_str());
  return paths;
}

// The folder part of a path, with its last separator.
WStr FolderOf(const WStr& path) {
  size_t end = path.size();
  while (end > 0 && path[end - 1] != L'\\') --end;
  return path.Substr(0, end);
}

// A staged tree moved into place. Windows refuses to rename a folder while
// a file in it is open, as a scanner opens a fresh file: a brief hold is
// waited out, and a longer one leaves the tree to be placed part by part.
bool MoveTree(const StepPaths& p) {
  constexpr int kTries = 3;
  constexpr DWORD kRetryMs = 100;
  for (int attempt = 0;; ++attempt) {
    if (FsMove(p.staged.c_str(), p.target.c_str())) return true;
    DWORD error = GetLastError();
    if (attempt + 1 == kTries ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return false;
    }
    Sleep(kRetryMs);
  }
}

// Takes back what of the step is made. A new file goes back to its staged
// name (removed with the rest), a folder the run made is removed, and what
// was backed up returns. A file of a tree goes back on its own, into the
// staged folders its tree left, so that what the user put in the tree's
// folders meanwhile stays, with them, as in any folder the run made.
bool UndoStep(const InstallFolder& folder, const SwitchStep& step, StepFailure* failure) {
  StepPaths p = Full(folder, step);
  bool backedUp = step.backup.empty() || Exists(p.backup);
  if (step.kind == StepKind::kFile) {
    if (backedUp && !Exists(p.staged) && Exists(p.target) &&
        ((step.inTree && !FsEnsureFolder(FolderOf(p.staged).c_str())) ||
         !FsMove(p.target.c_str(), p.staged.c_str()))) {
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

}  // namespace

bool Exists(const WStr& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const WStr& path) {
  DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

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
  // Made by its tree's move, which a fresh switch makes first.
  if (fresh && step.inTree) return true;
  StepPaths p = Full(folder, step);
  if (!step.backup.empty() && (fresh || (!Exists(p.backup) && Exists(p.target))) &&
      !FsMove(p.target.c_str(), p.backup.c_str())) {
    return Fail(failure, p.target, true);
  }
  if (step.kind == StepKind::kFile) {
    if ((fresh || Exists(p.staged)) && !FsMove(p.staged.c_str(), p.target.c_str())) {
      return Fail(failure, p.target, false);
    }
  } else if (step.kind == StepKind::kTree) {
    // Moved already when its staged folder is gone; a tree that is in
    // neither place cannot be made. A folder that stands at the target
    // takes the tree part by part: its steps follow (PlacedPartByPart).
    if (IsFolder(p.target)) return true;
    if (!IsFolder(p.staged)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return Fail(failure, p.target, false);
    }
    if (!MoveTree(p) && !FsMakeFolder(p.target.c_str())) return Fail(failure, p.target, false);
  } else if ((fresh || !IsFolder(p.target)) && !FsMakeFolder(p.target.c_str())) {
    return Fail(failure, p.target, false);
  }
  return true;
}

bool PlacedPartByPart(const InstallFolder& folder, const SwitchStep& step) {
  return step.kind == StepKind::kTree && IsFolder(folder.Path(step.staged.c_str()));
}

bool DeleteFileOfOurs(const WStr& path) {
  if (FsDelete(path.c_str())) return true;
  DWORD attributes = AttributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // A staged file keeps its item's attributes, read-only among them.
  return (attributes & FILE_ATTRIBUTE_READONLY) &&
         FsSetAttributes(path.c_str(), FILE_ATTRIBUTE_NORMAL) && FsDelete(path.c_str());
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

bool MakeOwnFolder(const WStr& path, StepFailure* failure) {
  if (IsFolder(path) || FsMakeFolder(path.c_str())) return true;
  return Fail(failure, path, false);
}

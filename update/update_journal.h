#pragma once

#include "common/str.h"
#include "common/vec.h"
#include "disk/install_folder.h"

// One step of an update's switch, in paths relative to the install folder:
// what lies at target goes to backup (when set), then staged takes its
// place, or, without staged, a folder is made there. Each move is a rename,
// so the state of a step can be read off the disk: a backup that exists has
// been made, a staged file that is gone has been placed.
struct SwitchStep {
  WStr target;
  WStr backup;
  WStr staged;
};

// The update's journal, "Update\Update.journal" of the install folder: the
// steps, written whole and flushed before anything in the folder changes,
// then a line for each phase the run has reached. A run ended at any
// instant leaves it behind, and the next run finishes its work from it.
struct Journal {
  Vec<SwitchStep> steps;
  // The run made "Update\" for the journal.
  bool madeUpdateFolder = false;
  // Every staged file is whole on disk: the switch can be finished.
  bool staged = false;
  // The run is being undone: it must be undone to its end.
  bool undoing = false;
  // Every step is made: only the setup's own files are left to remove.
  bool switched = false;
};

constexpr wchar_t kJournalPath[] = L"Update\\Update.journal";
// Where a run that makes "Update\" writes the journal first: the folder is
// renamed into place with the journal in it, so that "Update\" never stands
// without one.
constexpr wchar_t kUpdateFolderPart[] = L"Update.part";
// The setup's own names inside the install folder: staged files
// (<group>\<item>.new) and files that need no backup (s<group>\<n>.old).
// In groups of a few dozen: Wine looks a new name up in the whole folder
// it goes into, which a folder of thousands makes slow.
constexpr wchar_t kIncomingFolder[] = L"Update\\Incoming";
constexpr int kIncomingGroup = 64;

enum class JournalMark { kStaged, kUndoing, kSwitched };

bool WriteJournal(const InstallFolder& installFolder, const Journal& journal);
bool MarkJournal(const InstallFolder& installFolder, JournalMark mark);
// False when there is none; a journal that cannot be read whole counts as
// none of this setup's.
bool ReadJournal(const InstallFolder& installFolder, Journal* journal);
bool JournalExists(const InstallFolder& installFolder);
bool DeleteJournal(const InstallFolder& installFolder);

#pragma once

#include <stdint.h>

#include "common/str.h"
#include "common/vec.h"
#include "disk/install_folder.h"

// What a step of the switch does.
enum class StepKind {
  kFolder,  // a folder is made at the target
  kFile,    // the staged file takes the target's place
  kTree,    // the staged folder, with what was staged in it, takes it
};

// One step of an update's switch, in paths relative to the install folder:
// what lies at target goes to backup (when set), then the step's kind is
// carried out. Each move is a rename, so the state of a step can be read
// off the disk: a backup that exists has been made, a staged file that is
// gone has been placed.
struct SwitchStep {
  StepKind kind = StepKind::kFolder;
  WStr target;
  WStr backup;
  // A file step's new file, or a tree step's new folder, under the
  // setup's own name.
  WStr staged;
  // Made by the move of the tree step whose folder holds the target: a
  // folder the run makes inside a new one, a file staged in that folder.
  // The switch passes over it; an undo takes it back on its own.
  bool inTree = false;
  // The package item whose data is staged, or -1 (a folder, or a file that
  // arrives whole from elsewhere: the demo database). Not in the journal:
  // only the run that planned the step stages it.
  int32_t item = -1;
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
// A staged file's name (<group>\<item>.new) and a set-aside file's
// (s<group>\<n>.old), relative, with the group of its number; the group's
// folder alone when name is false.
WStr StagedName(int32_t item, bool name = true);
WStr SetAsideName(int32_t number, bool name = true);
// The demo database while it arrives, beside the user's database: only the
// switch puts it in place.
constexpr wchar_t kDatabasePart[] = L"Quelda.mdb.download";

enum class JournalMark { kStaged, kUndoing, kSwitched };

bool WriteJournal(const InstallFolder& installFolder, const Journal& journal);
bool MarkJournal(const InstallFolder& installFolder, JournalMark mark);
// False when there is none; a journal that cannot be read whole, was
// written for another folder or has a step that leaves the setup's places
// in the folder counts as none of this setup's, and is never carried out.
bool ReadJournal(const InstallFolder& installFolder, Journal* journal);
bool JournalExists(const InstallFolder& installFolder);
bool DeleteJournal(const InstallFolder& installFolder);

#pragma once

#include "common/str.h"
#include "update/update_journal.h"

// The journal's text, without any file: a header line, "folder<TAB>" and
// the install folder it was written for, "made-update" when the run made
// "Update\", a line "step<TAB>target<TAB>backup<TAB>staged" for each step (a
// folder step has no staged file), "end", then a line for each phase the
// run reached ("staged", "undoing", "switched"). Tabs and line ends are in
// no item's name. A journal with a new folder placed whole has a header of
// its own and a fifth field on each step line: "tree" for the folder's
// step, "in-tree" for the steps its move makes, else empty; a setup that
// reads only the first form takes it for none of its own and never acts on
// it, where it would take the steps in the tree for steps to make.
WStr EncodeJournal(const Journal& journal, const WStr& folder);
// The line that marks a phase.
const wchar_t* JournalMarkLine(JournalMark mark);
// False when the text is no whole journal of this setup's for the folder
// (the same as the one written, compared as Windows compares file names):
// another header, another folder, a step line of another form, a step
// that is not confined (StepConfined), or no "end" (a journal cut short
// while it was written). A last line without its line end counts for
// nothing.
bool DecodeJournal(const WStr& text, const WStr& folder, Journal* journal);

// Whether every path of the step stays inside the install folder, where
// the setup's own steps put it: each a relative path that keeps to the
// rules of a package item's name (no "..", no root or drive, no stream, no
// device), a backup only below "Update\Backup" (or set aside below
// "Update\Incoming\"), a staged file or folder only below
// "Update\Incoming\" (or the demo database's part, for "Quelda.mdb"
// alone).
bool StepConfined(const SwitchStep& step);

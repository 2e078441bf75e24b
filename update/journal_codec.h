#pragma once

#include "common/str.h"
#include "update/update_journal.h"

// The journal's text, without any file: a header line, "made-update" when
// the run made "Update\", a line "step<TAB>target<TAB>backup<TAB>staged"
// for each step (a folder step has no staged file), "end", then a line for
// each phase the run reached ("staged", "undoing", "switched"). Tabs and
// line ends are in no item's name.
WStr EncodeJournal(const Journal& journal);
// The line that marks a phase.
const wchar_t* JournalMarkLine(JournalMark mark);
// False when the text is no whole journal of this setup's: another header,
// a step line of another form, or no "end" (a journal cut short while it
// was written). A last line without its line end counts for nothing.
bool DecodeJournal(const WStr& text, Journal* journal);

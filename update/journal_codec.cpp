#include "update/journal_codec.h"

namespace {

constexpr wchar_t kHeader[] = L"QueldaUpdateJournal 1";
constexpr wchar_t kMadeUpdate[] = L"made-update";
constexpr wchar_t kEnd[] = L"end";
constexpr wchar_t kStep[] = L"step";

void AppendLine(WStr* text, const wchar_t* line) {
  text->Append(line);
  text->Append(L'\n');
}

// The text from position up to the next separator; moves past it.
WStr Field(const WStr& line, size_t* position) {
  size_t end = *position;
  while (end < line.size() && line[end] != L'\t') ++end;
  WStr field = line.Substr(*position, end - *position);
  *position = end < line.size() ? end + 1 : end;
  return field;
}

}  // namespace

WStr EncodeJournal(const Journal& journal) {
  WStr text;
  AppendLine(&text, kHeader);
  if (journal.madeUpdateFolder) AppendLine(&text, kMadeUpdate);
  for (const SwitchStep& step : journal.steps) {
    text.Append(kStep);
    text.Append(L'\t');
    text.Append(step.target);
    text.Append(L'\t');
    text.Append(step.backup);
    text.Append(L'\t');
    if (step.kind == StepKind::kFile) text.Append(step.staged);
    text.Append(L'\n');
  }
  AppendLine(&text, kEnd);
  for (JournalMark mark : {JournalMark::kStaged, JournalMark::kUndoing, JournalMark::kSwitched}) {
    bool reached = mark == JournalMark::kStaged    ? journal.staged
                   : mark == JournalMark::kUndoing ? journal.undoing
                                                   : journal.switched;
    if (reached) AppendLine(&text, JournalMarkLine(mark));
  }
  return text;
}

const wchar_t* JournalMarkLine(JournalMark mark) {
  switch (mark) {
    case JournalMark::kStaged:
      return L"staged";
    case JournalMark::kUndoing:
      return L"undoing";
    case JournalMark::kSwitched:
      return L"switched";
  }
  return L"";
}

bool DecodeJournal(const WStr& text, Journal* journal) {
  *journal = Journal();
  bool header = false, whole = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.Find(L'\n', start);
    if (end == WStr::npos) break;
    WStr line = text.Substr(start, end - start);
    start = end + 1;
    if (!header) {
      if (line != kHeader) return false;
      header = true;
    } else if (!whole) {
      if (line == kEnd) {
        whole = true;
      } else if (line == kMadeUpdate) {
        journal->madeUpdateFolder = true;
      } else {
        size_t position = 0;
        if (Field(line, &position) != kStep) return false;
        SwitchStep step;
        step.target = Field(line, &position);
        step.backup = Field(line, &position);
        step.staged = Field(line, &position);
        // A staged file makes a file step; none, a folder step.
        step.kind = step.staged.empty() ? StepKind::kFolder : StepKind::kFile;
        if (step.target.empty() || !journal->steps.Push(static_cast<SwitchStep&&>(step))) {
          return false;
        }
      }
    } else if (line == JournalMarkLine(JournalMark::kStaged)) {
      journal->staged = true;
    } else if (line == JournalMarkLine(JournalMark::kUndoing)) {
      journal->undoing = true;
    } else if (line == JournalMarkLine(JournalMark::kSwitched)) {
      journal->switched = true;
    }
  }
  return whole;
}

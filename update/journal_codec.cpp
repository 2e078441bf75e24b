#include "update/journal_codec.h"

#include <wchar.h>

#include "common/same_path.h"
#include "zip/archive_handle.h"
#include "zip/item_name.h"

namespace {

constexpr wchar_t kHeader[] = L"QueldaUpdateJournal 2";
constexpr wchar_t kTreeHeader[] = L"QueldaUpdateJournal 3";
constexpr wchar_t kTreeStep[] = L"tree";
constexpr wchar_t kInTree[] = L"in-tree";
constexpr wchar_t kFolder[] = L"folder";
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

// A relative path that the rules of item names leave as it is.
bool InFolder(const WStr& path) {
  if (path.empty() || path.Find(L'/') != WStr::npos || path[path.size() - 1] == L'\\') {
    return false;
  }
  wchar_t safe[kZipPathChars + 1];
  return MakeSafeName(path.c_str(), safe, kZipPathChars + 1) && wcscmp(safe, path.c_str()) == 0;
}

bool Below(const WStr& path, const wchar_t* folder) {
  size_t length = wcslen(folder);
  return path.size() > length && wcsncmp(path.c_str(), folder, length) == 0;
}

}  // namespace

bool StepConfined(const SwitchStep& step) {
  static const wchar_t kIncoming[] = L"Update\\Incoming\\";
  if (!InFolder(step.target)) return false;
  if (!step.backup.empty() &&
      (!InFolder(step.backup) ||
       !(Below(step.backup, L"Update\\Backup") || Below(step.backup, kIncoming)))) {
    return false;
  }
  if (step.kind == StepKind::kFolder) return step.staged.empty();
  if (step.kind == StepKind::kFile && !step.inTree && step.staged == kDatabasePart) {
    return step.target == L"Quelda.mdb";
  }
  return InFolder(step.staged) && Below(step.staged, kIncoming);
}

WStr EncodeJournal(const Journal& journal, const WStr& folder) {
  bool trees = false;
  for (const SwitchStep& step : journal.steps) trees = trees || step.kind == StepKind::kTree;
  WStr text;
  // Without a tree, the form that earlier setups read too.
  AppendLine(&text, trees ? kTreeHeader : kHeader);
  text.Append(kFolder);
  text.Append(L'\t');
  AppendLine(&text, folder.c_str());
  if (journal.madeUpdateFolder) AppendLine(&text, kMadeUpdate);
  for (const SwitchStep& step : journal.steps) {
    text.Append(kStep);
    text.Append(L'\t');
    text.Append(step.target);
    text.Append(L'\t');
    text.Append(step.backup);
    text.Append(L'\t');
    if (step.kind != StepKind::kFolder) text.Append(step.staged);
    if (trees) {
      text.Append(L'\t');
      text.Append(step.kind == StepKind::kTree ? kTreeStep : step.inTree ? kInTree : L"");
    }
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

bool DecodeJournal(const WStr& text, const WStr& folder, Journal* journal) {
  *journal = Journal();
  bool header = false, ownFolder = false, whole = false, trees = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.Find(L'\n', start);
    if (end == WStr::npos) break;
    WStr line = text.Substr(start, end - start);
    start = end + 1;
    if (!header) {
      trees = line == kTreeHeader;
      if (line != kHeader && !trees) return false;
      header = true;
    } else if (!ownFolder) {
      size_t position = 0;
      if (Field(line, &position) != kFolder) return false;
      WStr written = line.Substr(position, line.size() - position);
      if (!SamePath(written.c_str(), folder.c_str())) return false;
      ownFolder = true;
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
        if (trees) {
          WStr mark = Field(line, &position);
          if (mark == kTreeStep) {
            step.kind = StepKind::kTree;
          } else if (mark == kInTree) {
            step.inTree = true;
          } else if (!mark.empty()) {
            return false;
          }
        }
        if (position != line.size() || !StepConfined(step) ||
            !journal->steps.Push(static_cast<SwitchStep&&>(step))) {
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

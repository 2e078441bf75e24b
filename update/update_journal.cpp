#include "update/update_journal.h"

#include <windows.h>

#include "disk/file_system.h"

namespace {

constexpr wchar_t kHeader[] = L"QueldaUpdateJournal 1";
constexpr wchar_t kMadeUpdate[] = L"made-update";
constexpr wchar_t kEnd[] = L"end";
constexpr wchar_t kStagedMark[] = L"staged";
constexpr wchar_t kUndoingMark[] = L"undoing";
constexpr wchar_t kSwitchedMark[] = L"switched";
// A journal is small; one that is not is none of this setup's.
constexpr DWORD kMaxJournalBytes = 64u << 20;

void AppendLine(WStr* text, const wchar_t* line) {
  text->Append(line);
  text->Append(L'\n');
}

bool WriteWhole(HANDLE file, const WStr& text) {
  return FsWrite(file, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t))) &&
         FsFlush(file);
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

bool WriteJournal(const InstallFolder& installFolder, const Journal& journal) {
  WStr text;
  AppendLine(&text, kHeader);
  if (journal.madeUpdateFolder) AppendLine(&text, kMadeUpdate);
  for (const SwitchStep& step : journal.steps) {
    // Tabs and line ends are in no item's name.
    text.Append(L"step\t");
    text.Append(step.target);
    text.Append(L'\t');
    text.Append(step.backup);
    text.Append(L'\t');
    text.Append(step.staged);
    text.Append(L'\n');
  }
  AppendLine(&text, kEnd);
  // Written beside, then renamed: a journal is whole or not there.
  WStr path = installFolder.Path(kJournalPath);
  WStr part = path;
  part.Append(L".part");
  WStr folderPart = installFolder.Path(kUpdateFolderPart);
  if (journal.madeUpdateFolder) {
    part = folderPart;
    part.Append(L"\\Update.journal");
    if (!FsMakeFolder(folderPart.c_str())) return false;
  }
  if (path.empty() || part.empty()) return false;
  {
    ScopedHandle file = FsCreateFile(part.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!file || !WriteWhole(file.get(), text)) return false;
  }
  if (journal.madeUpdateFolder) {
    return FsMove(folderPart.c_str(), installFolder.Path(L"Update").c_str());
  }
  return FsMove(part.c_str(), path.c_str());
}

bool MarkJournal(const InstallFolder& installFolder, JournalMark mark) {
  WStr line(mark == JournalMark::kStaged    ? kStagedMark
            : mark == JournalMark::kUndoing ? kUndoingMark
                                            : kSwitchedMark);
  line.Append(L'\n');
  ScopedHandle file = FsAppendFile(installFolder.Path(kJournalPath).c_str());
  return file && WriteWhole(file.get(), line);
}

bool JournalExists(const InstallFolder& installFolder) {
  WStr path = installFolder.Path(kJournalPath);
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool DeleteJournal(const InstallFolder& installFolder) {
  return FsDelete(installFolder.Path(kJournalPath).c_str());
}

bool ReadJournal(const InstallFolder& installFolder, Journal* journal) {
  *journal = Journal();
  WStr path = installFolder.Path(kJournalPath);
  if (path.empty()) return false;
  ScopedHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxJournalBytes ||
      size.QuadPart % sizeof(wchar_t) != 0) {
    return false;
  }
  WStr text;
  if (!text.Resize(static_cast<size_t>(size.QuadPart) / sizeof(wchar_t))) return false;
  DWORD read = 0;
  if (size.QuadPart > 0 &&
      (!ReadFile(file.get(), text.data(), static_cast<DWORD>(size.QuadPart), &read, nullptr) ||
       read != size.QuadPart)) {
    return false;
  }
  bool header = false, whole = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.Find(L'\n', start);
    // A line without its end was cut short: it counts for nothing.
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
        if (Field(line, &position) != L"step") return false;
        SwitchStep step;
        step.target = Field(line, &position);
        step.backup = Field(line, &position);
        step.staged = Field(line, &position);
        if (step.target.empty() || !journal->steps.Push(static_cast<SwitchStep&&>(step))) {
          return false;
        }
      }
    } else if (line == kStagedMark) {
      journal->staged = true;
    } else if (line == kUndoingMark) {
      journal->undoing = true;
    } else if (line == kSwitchedMark) {
      journal->switched = true;
    }
  }
  return whole;
}

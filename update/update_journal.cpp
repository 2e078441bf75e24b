#include "update/update_journal.h"

#include <windows.h>

#include <stdio.h>

#include "disk/file_system.h"
#include "update/journal_codec.h"

namespace {

// A journal is small; one that is not is none of this setup's.
constexpr DWORD kMaxJournalBytes = 64u << 20;

bool WriteWhole(HANDLE file, const WStr& text) {
  return FsWrite(file, text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t))) &&
         FsFlush(file);
}

// A name of the setup's own under "Update\Incoming\": the group's folder
// (the prefix, then the number's group), then the number and the suffix.
WStr OwnName(const wchar_t* prefix, int32_t number, const wchar_t* suffix, bool name) {
  wchar_t text[64];
  int group = static_cast<int>(number / kIncomingGroup);
  if (name) {
    _snwprintf_s(text, 64, _TRUNCATE, L"%ls\\%ls%d\\%d%ls", kIncomingFolder, prefix, group,
                 static_cast<int>(number), suffix);
  } else {
    _snwprintf_s(text, 64, _TRUNCATE, L"%ls\\%ls%d", kIncomingFolder, prefix, group);
  }
  return WStr(text);
}

// The folder as the journal records it: its long name, so that the same
// folder reached by a short name or in other case is the same.
WStr FolderName(const InstallFolder& installFolder) {
  WStr folder = installFolder.Path(L"");
  wchar_t longName[MAX_PATH];
  DWORD length = GetLongPathNameW(folder.c_str(), longName, MAX_PATH);
  return length > 0 && length < MAX_PATH ? WStr(longName) : folder;
}

}  // namespace

WStr StagedName(int32_t item, bool name) { return OwnName(L"", item, L".new", name); }

WStr SetAsideName(int32_t number, bool name) { return OwnName(L"s", number, L".old", name); }

bool WriteJournal(const InstallFolder& installFolder, const Journal& journal) {
  WStr text = EncodeJournal(journal, FolderName(installFolder));
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
  WStr line(JournalMarkLine(mark));
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
  return DecodeJournal(text, FolderName(installFolder), journal);
}

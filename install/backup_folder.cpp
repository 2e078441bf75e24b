#include "install/backup_folder.h"

#include <windows.h>
#include <shellapi.h>
#include <stdio.h>

#include "install/error_text.h"

namespace {

constexpr FILEOP_FLAGS kMoveFlags =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
// Backups of one name: name.ext, name.1.ext, ... name.99.ext.
constexpr int kBackupNames = 100;

}  // namespace

WStr BackupFolder(const InstallFolder& installFolder, PackedVersion installed) {
  WStr name(L"Update\\Backup");
  name.Append(FormatVersion(installed));
  name.Append(L"\\");
  return installFolder.Path(name.c_str());
}

WStr FreeBackupPath(const WStr& backupFolder, const wchar_t* lastName) {
  WStr path = backupFolder;
  path.Append(lastName);
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  const wchar_t* dot = wcsrchr(lastName, L'.');
  size_t stem = dot && dot != lastName ? static_cast<size_t>(dot - lastName) : wcslen(lastName);
  for (int n = 1; n < kBackupNames; ++n) {
    wchar_t number[16];
    _snwprintf_s(number, 16, _TRUNCATE, L".%d", n);
    path = backupFolder;
    path.Append(lastName, stem);
    path.Append(number);
    path.Append(lastName + stem);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  }
  return WStr();
}

int MoveToBackup(const WStr& target, const WStr& backupFolder) {
  // Where the folder could not be made (a file of its name is in the way)
  // the shell would move each target onto that name, each replacing the
  // one before: the backup must be a folder.
  DWORD attributes = GetFileAttributesW(backupFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attributes != INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_DIRECTORY);
    return -1;
  }
  size_t slash = target.size();
  while (slash > 0 && target[slash - 1] != L'\\') --slash;
  WStr to = FreeBackupPath(backupFolder, target.c_str() + slash);
  if (to.empty()) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return -1;
  }
  // Both lists end in a second terminator.
  WStr from = target;
  from.Append(L'\0');
  to.Append(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_MOVE;
  operation.pFrom = from.c_str();
  operation.pTo = to.c_str();
  operation.fFlags = kMoveFlags;
  int result = SHFileOperationW(&operation);
  if (result != 0) SetLastError(static_cast<DWORD>(result));
  return result;
}

void SendBackupFailure(const WorkerInputs& inputs, const WStr& target, const WStr& backupFolder) {
  WStr reason = LastErrorText();
  Send(inputs, ReportId::kBackupFailed, target.c_str(), backupFolder.c_str(), reason.c_str());
}

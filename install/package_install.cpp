#include "install/package_install.h"

#include <shellapi.h>
#include <stdio.h>

#include "app/status_slot.h"
#include "app/worker_access.h"
#include "common/ensure_folder.h"
#include "common/scoped.h"
#include "install/close_app.h"
#include "install/download.h"
#include "install/error_text.h"
#include "install/shortcuts.h"
#include "install/version_number.h"
#include "net/update_server.h"
#include "zip/unzipper.h"

namespace {

constexpr FILEOP_FLAGS kMoveFlags =
    FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
constexpr wchar_t kDatabaseName[] = L"Quelda.mdb";
// Beside the database while the demo database arrives.
constexpr wchar_t kPartSuffix[] = L".download";
// Backups of one name: name.ext, name.1.ext, ... name.99.ext.
constexpr int kBackupNames = 100;
// What the number adds to a name at most (".99").
constexpr size_t kBackupNumberChars = 3;

// False after a failure report. The demo database lands beside the user's
// and in part: only a whole one is named in *part, for ReplaceDatabase.
// One that breaks off is no failure; it is deleted, and the user's
// database stays as it was.
bool DownloadDemoDatabase(HWND page, WStr* part) {
  PostStatus(page, 0, kStatusWorking, L"正在下载 Quelda Manager 演示数据库 ...");
  DownloadJob job = {kDatabaseUrl,
                     kDatabaseName,
                     /*makeFolders=*/false,
                     /*reportStatusCode=*/false,
                     L"正在下载 Quelda Manager 演示数据库 ...\r\n共 %s KB，已下载 %s KB。",
                     kPartSuffix};
  bool whole = false;
  WStr written = DownloadToFile(page, job, &whole);
  if (written.empty()) return false;
  if (whole) {
    *part = written;
  } else {
    DeleteFileW(written.c_str());
  }
  return true;
}

// The backup folder named after the installed version, with its separator.
WStr BackupFolder(const FixedInstallFolder& installFolder, PackedVersion installed) {
  WStr name(L"Update\\Backup");
  name.Append(FormatVersion(installed));
  name.Append(L"\\");
  return installFolder.Path(name.c_str());
}

// Where in the backup folder something of that last name goes: under the
// name itself, or, when an earlier backup has it (two config.ini from
// different folders, a retried update), under the first free of name.1.ext,
// name.2.ext and so on, so that no backup is ever replaced. Empty when all
// are taken.
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

// Moves what lies at the target into the backup folder (FreeBackupPath);
// the shell's result code on failure, with the thread's last error set to
// it so that the report says why.
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

// The item's path under the install folder with backslashes throughout
// (the shell's file operations do not take forward slashes), without a
// trailing separator.
WStr TargetOf(const FixedInstallFolder& installFolder, const wchar_t* itemName) {
  WStr target = installFolder.Path(itemName);
  for (size_t i = 0; i < target.size(); ++i) {
    if (target[i] == L'/') target[i] = L'\\';
  }
  while (target.size() > 3 && target.back() == L'\\') target.Resize(target.size() - 1);
  return target;
}

void ReportBackupFailure(HWND page, const WStr& target, const WStr& backupFolder) {
  WStr reason = LastErrorText();
  PostStatus(page, 0, kStatusFailed, L"备份 “%s” 至 “%s” 失败！\r\n%s", target.c_str(),
             backupFolder.c_str(), reason.c_str());
}

// Moves the user's database into the backup folder (FreeBackupPath);
// *backup is where it went.
bool BackUpDatabase(const WStr& database, const WStr& backupFolder, WStr* backup) {
  EnsureFolder(backupFolder.c_str());
  *backup = FreeBackupPath(backupFolder, kDatabaseName);
  if (backup->empty()) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
  }
  // Never over a file that came in the meantime.
  return MoveFileExW(database.c_str(), backup->c_str(), 0) != 0;
}

// Puts the whole demo database in the place of the user's, which goes into
// the backup folder first; false after a failure report, with the user's
// database where it was and the part deleted.
bool ReplaceDatabase(HWND page, const WStr& database, const WStr& part,
                     const WStr& backupFolder) {
  // Only a file is a database to keep; anything else in the way makes the
  // replacement fail below.
  DWORD attributes = GetFileAttributesW(database.c_str());
  WStr backup;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !BackUpDatabase(database, backupFolder, &backup)) {
    ReportBackupFailure(page, database, backupFolder);
    DeleteFileW(part.c_str());
    return false;
  }
  if (!MoveFileExW(part.c_str(), database.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    WStr reason = LastErrorText();
    DeleteFileW(part.c_str());
    // The user's database goes back where it was.
    if (!backup.empty()) MoveFileExW(backup.c_str(), database.c_str(), 0);
    PostStatus(page, 0, kStatusFailed, L"创建 “%s” 失败！\r\n%s", database.c_str(),
               reason.c_str());
    return false;
  }
  return true;
}

bool InstallItems(HWND page, ZipHandle* archive, int itemCount,
                  const FixedInstallFolder& installFolder, const WStr& backupFolder) {
  for (int index = 0; index < itemCount; ++index) {
    ZipItem item{};
    // An item that cannot be described, or whose name was refused, is
    // neither backed up nor extracted: its target could be the install
    // folder itself.
    if (GetArchiveItem(archive, index, &item) != 0 || item.name[0] == 0) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
    WStr target = TargetOf(installFolder, item.name);
    if (target.empty()) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
    // A folder item over an existing folder moves nothing: the folder
    // holds the user's files, and files this run has already extracted
    // when the item comes after them.
    DWORD existing = GetFileAttributesW(target.c_str());
    bool folderOverFolder = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            existing != INVALID_FILE_ATTRIBUTES &&
                            (existing & FILE_ATTRIBUTE_DIRECTORY);
    if (!backupFolder.empty() && existing != INVALID_FILE_ATTRIBUTES && !folderOverFolder &&
        MoveToBackup(target, backupFolder) != 0) {
      ReportBackupFailure(page, target, backupFolder);
      return false;
    }
    if (ExtractArchiveItem(archive, index, target.c_str()) != 0) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
  }
  return true;
}

// The longest paths the installation will use, in the install folder and
// in the backup folder (with room for a backup's number), are within what
// Windows takes: a file's path within 259 characters, a folder's within 247
// (CreateDirectory keeps room for a short name). False after a failure
// report naming the item.
bool PathsFit(HWND page, ZipHandle* archive, const ArchiveFacts& facts,
              const FixedInstallFolder& installFolder, const WStr& backupFolder) {
  constexpr size_t kFileChars = MAX_PATH - 1;
  constexpr size_t kFolderChars = MAX_PATH - 13;
  size_t folder = installFolder.Path(L"").size();
  int32_t tooLong = -1;
  if (folder == 0 || folder + facts.name.length > kFileChars) {
    tooLong = facts.name.index;
  } else if (facts.folder.length > 0 && folder + facts.folder.length - 1 > kFolderChars) {
    tooLong = facts.folder.index;
  } else if (!backupFolder.empty() &&
             backupFolder.size() + facts.lastName.length + kBackupNumberChars > kFileChars) {
    tooLong = facts.lastName.index;
  }
  if (tooLong < 0 && folder > 0) return true;
  ZipItem item{};
  if (tooLong >= 0) GetArchiveItem(archive, tooLong, &item);
  PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
  return false;
}

}  // namespace

void InstallPackage(HWND page, ScopedArchive archive, int itemCount, const ArchiveFacts& facts) {
  // Read once rather than for every path (each read is a message to the
  // wizard's thread): past the go-ahead the wizard can no longer change the
  // folder.
  FixedInstallFolder installFolder;
  WStr application = installFolder.Path(L"Quelda.exe");
  PackedVersion installed = GetProductVersion(application.c_str());
  // Without an installed application nothing is moved aside but the user's
  // database, which goes to Backup0.0.
  WStr versionBackup = BackupFolder(installFolder, installed);
  WStr backupFolder = installed != 0 ? versionBackup : WStr();
  if (!PathsFit(page, archive.get(), facts, installFolder, backupFolder)) return;
  WStr databasePart;
  if (IsOptionChecked(InstallOption::kDemoDatabase) &&
      !DownloadDemoDatabase(page, &databasePart)) {
    return;
  }
  CloseRunningApp(application.c_str());

  // Only once the application has closed: it may hold its database open.
  if (!databasePart.empty() &&
      !ReplaceDatabase(page, installFolder.Path(kDatabaseName), databasePart, versionBackup)) {
    return;
  }
  if (!backupFolder.empty()) EnsureFolder(backupFolder.c_str());

  PostStatus(page, 0, kStatusWorking, L"解压下载的压缩文件 ...");
  bool installedAll =
      InstallItems(page, archive.get(), itemCount, installFolder, backupFolder);
  // Left open, the archive would keep the package file locked for a retry.
  archive.Reset();
  if (!installedAll) return;
  CreateShortcuts();
  PostStatus(page, 0, kStatusFinished, L"已完成。");
}

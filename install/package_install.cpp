#include "install/package_install.h"

#include <shellapi.h>
#include <io.h>
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

// False after a failure report; a download that breaks off is no failure.
bool DownloadDemoDatabase(HWND page) {
  PostStatus(page, 0, kStatusWorking, L"正在下载 Quelda Manager 演示数据库 ...");
  DownloadJob job = {kDatabaseUrl, L"Quelda.mdb", /*makeFolders=*/false,
                     /*reportStatusCode=*/false,
                     L"正在下载 Quelda Manager 演示数据库 ...\r\n共 %s KB，已下载 %s KB。"};
  return !DownloadToFile(page, job).empty();
}

// Moves what lies at the target into the backup folder under its own last
// name; the shell's result code on failure, with the thread's last error
// set to it so that the report says why.
int MoveToBackup(const WStr& target, const WStr& backupFolder) {
  EnsureFolder(backupFolder.c_str());
  // Where the folder could not be made (a file of its name is in the way)
  // the shell would move each target onto that name, each replacing the
  // one before: the backup must be a folder.
  DWORD attributes = GetFileAttributesW(backupFolder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    if (attributes != INVALID_FILE_ATTRIBUTES) SetLastError(ERROR_DIRECTORY);
    return -1;
  }
  // Both lists end in a second terminator.
  WStr from = target;
  from.Append(L'\0');
  WStr to = backupFolder;
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
WStr TargetOf(const wchar_t* itemName) {
  WStr target = InstallPath(itemName);
  for (size_t i = 0; i < target.size(); ++i) {
    if (target[i] == L'/') target[i] = L'\\';
  }
  while (target.size() > 3 && target.back() == L'\\') target.Resize(target.size() - 1);
  return target;
}

bool InstallItems(HWND page, ZipHandle* archive, int itemCount, const WStr& backupFolder) {
  for (int index = 0; index < itemCount; ++index) {
    ZipItem item{};
    // An item that cannot be described, or whose name was refused, is
    // neither backed up nor extracted: its target could be the install
    // folder itself.
    if (GetArchiveItem(archive, index, &item) != 0 || item.name[0] == 0) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
    WStr target = TargetOf(item.name);
    if (target.empty()) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
    if (!backupFolder.empty() && _waccess(target.c_str(), 0) == 0 &&
        MoveToBackup(target, backupFolder) != 0) {
      WStr reason = LastErrorText();
      PostStatus(page, 0, kStatusFailed, L"备份 “%s” 至 “%s” 失败！\r\n%s", target.c_str(),
                 backupFolder.c_str(), reason.c_str());
      return false;
    }
    if (ExtractArchiveItem(archive, index, target.c_str()) != 0) {
      PostStatus(page, 0, kStatusFailed, L"解压 “%s” 失败！", item.name);
      return false;
    }
  }
  return true;
}

}  // namespace

void InstallPackage(HWND page, ScopedArchive archive, int itemCount) {
  if (IsOptionChecked(InstallOption::kDemoDatabase) && !DownloadDemoDatabase(page)) return;
  WStr application = InstallPath(L"Quelda.exe");
  CloseRunningApp(application.c_str());

  WStr backupFolder;
  PackedVersion installed = GetProductVersion(application.c_str());
  if (installed != 0) {
    WStr name(L"Update\\Backup");
    name.Append(FormatVersion(installed));
    name.Append(L"\\");
    backupFolder = InstallPath(name.c_str());
    EnsureFolder(backupFolder.c_str());
  }

  PostStatus(page, 0, kStatusWorking, L"解压下载的压缩文件 ...");
  bool installedAll = InstallItems(page, archive.get(), itemCount, backupFolder);
  // Left open, the archive would keep the package file locked for a retry.
  archive.Reset();
  if (!installedAll) return;
  CreateShortcuts();
  PostStatus(page, 0, kStatusFinished, L"已完成。");
}

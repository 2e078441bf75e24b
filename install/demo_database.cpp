#include "install/demo_database.h"

#include <windows.h>

#include "common/ensure_folder.h"
#include "install/backup_folder.h"
#include "install/download.h"
#include "install/error_text.h"
#include "net/update_server.h"

namespace {

constexpr wchar_t kDatabaseName[] = L"Quelda.mdb";
// Beside the database while the demo database arrives.
constexpr wchar_t kPartSuffix[] = L".download";

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

}  // namespace

bool DownloadDemoDatabase(const WorkerInputs& inputs, const InstallFolder& installFolder,
                          WStr* part) {
  Send(inputs, ReportId::kDatabaseDownloading);
  DownloadJob job = {kDatabaseUrl,
                     installFolder.Path(kDatabaseName),
                     /*makeFolders=*/false,
                     ReportId::kDatabaseFailed,
                     /*reportStatusCode=*/false,
                     ReportId::kDatabaseNotCreated,
                     ReportId::kDatabaseStep,
                     /*leading=*/nullptr,
                     kPartSuffix};
  bool whole = false;
  WStr written = DownloadToFile(inputs, job, &whole);
  if (written.empty()) return false;
  if (whole) {
    *part = written;
  } else {
    DeleteFileW(written.c_str());
  }
  return true;
}

bool ReplaceDatabase(const WorkerInputs& inputs, const WStr& database, const WStr& part,
                     const WStr& backupFolder) {
  // Only a file is a database to keep; anything else in the way makes the
  // replacement fail below.
  DWORD attributes = GetFileAttributesW(database.c_str());
  WStr backup;
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !BackUpDatabase(database, backupFolder, &backup)) {
    SendBackupFailure(inputs, database, backupFolder);
    DeleteFileW(part.c_str());
    return false;
  }
  if (!MoveFileExW(part.c_str(), database.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    WStr reason = LastErrorText();
    DeleteFileW(part.c_str());
    // The user's database goes back where it was.
    if (!backup.empty()) MoveFileExW(backup.c_str(), database.c_str(), 0);
    Send(inputs, ReportId::kDatabaseNotCreated, database.c_str(), reason.c_str());
    return false;
  }
  return true;
}

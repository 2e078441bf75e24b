#pragma once

#include "common/str.h"
#include "install/install_folder.h"
#include "install/version_number.h"
#include "install/worker_inputs.h"

// What a backup's number adds to a name at most (".99").
constexpr size_t kBackupNumberChars = 3;

// "Update\Backup<version>\" under the install folder, with its separator.
WStr BackupFolder(const InstallFolder& installFolder, PackedVersion installed);

// Where in the backup folder something of that last name goes: under the
// name itself, or, when an earlier backup has it (two config.ini from
// different folders, a retried update), under the first free of name.1.ext,
// name.2.ext and so on up to name.99.ext, so that no backup is ever
// replaced. Empty when all are taken.
WStr FreeBackupPath(const WStr& backupFolder, const wchar_t* lastName);

// Moves what lies at the target into the backup folder (FreeBackupPath);
// 0, or the shell's result code, with the thread's last error set to it so
// that the report says why.
int MoveToBackup(const WStr& target, const WStr& backupFolder);

// 备份 “%s” 至 “%s” 失败！ with the reason of the thread's last error.
void SendBackupFailure(const WorkerInputs& inputs, const WStr& target, const WStr& backupFolder);

#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "common/version_number.h"

// What a backup's number adds to a name in the usual case (".99"): the
// path check before the go-ahead leaves room for it.
constexpr size_t kBackupNumberChars = 3;

// "Update\Backup<version>\" under the install folder, with its separator.
WStr BackupFolder(const InstallFolder& installFolder, PackedVersion installed);

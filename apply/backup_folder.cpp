#include "apply/backup_folder.h"

WStr BackupFolder(const InstallFolder& installFolder, PackedVersion installed) {
  WStr name(L"Update\\Backup");
  name.Append(FormatVersion(installed));
  name.Append(L"\\");
  return installFolder.Path(name.c_str());
}

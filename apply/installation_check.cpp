#include "apply/installation_check.h"

#include <windows.h>

#include "common/version_number.h"

namespace {

bool IsFolder(const WStr& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFile(const WStr& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool IsSetupInstallation(const InstallFolder& folder) {
  WStr application = folder.Path(L"Quelda.exe");
  if (application.empty() || !IsFile(application)) return false;
  if (IsFolder(folder.Path(L"Update"))) return true;
  PackedVersion installed = GetProductVersion(application.c_str());
  if (installed == 0) return false;
  WStr kept(L"download\\Quelda");
  kept.Append(FormatVersion(installed));
  kept.Append(L".zip");
  WStr path = folder.Path(kept.c_str());
  return !path.empty() && IsFile(path);
}

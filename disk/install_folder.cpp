#include "disk/install_folder.h"

InstallFolder::InstallFolder(const WStr& folder) : folder_(folder) {
  if (!folder_.empty() && folder_.back() != L'\\') folder_.Append(L'\\');
}

WStr InstallFolder::Path(const wchar_t* relativePath) const {
  if (folder_.empty()) return WStr();
  WStr path = folder_;
  if (relativePath) path.Append(relativePath);
  if (path.size() >= kInstallPathSize) return WStr();
  return path;
}

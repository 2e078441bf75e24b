#pragma once

#include "common/str.h"

// Every install path holds up to 511 characters.
constexpr size_t kInstallPathSize = 512;

// The install folder the user chose, and the paths beneath it: the folder's
// text, a backslash when it lacks one, then the relative path.
class InstallFolder {
 public:
  explicit InstallFolder(const WStr& folder);
  // Empty when there is no folder, or the whole does not fit in 511
  // characters: no path rather than one under the root or cut short.
  WStr Path(const wchar_t* relativePath) const;
  bool empty() const { return folder_.empty(); }

 private:
  WStr folder_;  // with its backslash; empty when there is none
};

#pragma once

#include "common/str.h"
#include "disk/install_folder.h"

// The most characters of install folder text that the folder test accepts
// and install paths build on: a longer text, cut to fit, would name another
// folder.
constexpr size_t kInstallFolderLimit = 259;
// The folder box holds up to 511 characters, as every install path does.
constexpr size_t kFolderBoxSize = kInstallPathSize;

// The folder box's text; empty when it is longer than kInstallFolderLimit.
WStr FolderBoxText();

// The path under the folder the folder box shows now (InstallFolder).
WStr InstallPath(const wchar_t* relativePath);

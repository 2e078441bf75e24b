#pragma once

#include "common/str.h"

// The most characters of install folder text that the folder test accepts
// and InstallPath builds on: a longer text, cut to fit, would name another
// folder.
constexpr size_t kInstallFolderLimit = 259;
// The folder box and every install path hold up to 511 characters.
constexpr size_t kFolderBoxSize = 512;

// The folder box's text; empty when it is longer than kInstallFolderLimit.
WStr FolderBoxText();

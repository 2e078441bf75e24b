#pragma once

#include "disk/install_folder.h"

// Whether the folder is an installation that this setup made: it holds the
// "Update\" folder of an update, or the package of the installed
// Quelda.exe's version kept in "download\". A folder that merely holds a
// Quelda.exe (Downloads, where a browser saved one without asking) is none:
// a browser saves files, never folders. Only an installation's Quelda.exe
// is started after a failed update.
bool IsSetupInstallation(const InstallFolder& folder);

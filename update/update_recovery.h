#pragma once

#include "common/str.h"
#include "disk/install_folder.h"

// What a run ended part-way left in the folder, finished from its journal:
// forward when every new file was written whole, back otherwise. True when
// nothing is left unfinished; false, with the journal still there and the
// thread's last error set, when a step could not be made. *what names the
// path of that step, when given.
bool FinishUnfinishedUpdate(const InstallFolder& installFolder, WStr* what = nullptr);
// Whether the folder holds a journal that is none of this setup's: one
// that cannot be read whole, was written for another folder, or has a step
// that leaves the setup's places. It is never carried out.
bool HasForeignJournal(const InstallFolder& installFolder);
// Whether a run ended part-way left anything of its own in the folder.
bool HasUnfinishedUpdate(const InstallFolder& installFolder);

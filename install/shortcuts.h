#pragma once

// Makes the four "Quelda Manager.lnk" shortcuts (desktop, programs, start-up,
// quick launch) match the options page: a checked box creates or rewrites
// its shortcut to InstallPath("Quelda.exe"), an unchecked one deletes it.
// Reports nothing. Runs on the install worker thread.
void CreateShortcuts();

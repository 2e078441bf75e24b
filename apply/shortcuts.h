#pragma once

#include "common/str.h"

// The shortcuts the user chose on the options page.
struct ShortcutChoices {
  bool desktop = false;
  bool programs = false;
  bool startup = false;
  bool quickLaunch = false;
};

// Makes the four "Quelda Manager.lnk" shortcuts (desktop, programs, start-up,
// quick launch) match the choices: a chosen one is created or rewritten to
// the application file, one not chosen is deleted. Reports nothing.
void CreateShortcuts(const ShortcutChoices& choices, const WStr& applicationFile);

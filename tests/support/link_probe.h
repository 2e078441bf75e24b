#pragma once

#include <string>

#include "app/control_ids.h"

// The four shortcuts of the options page as the shell sees them.
constexpr int kDesktopBox = kIdDesktopLink, kProgramsBox = kIdProgramsLink,
              kQuickLaunchBox = kIdQuickLaunchLink, kStartupBox = kIdStartupLink;
constexpr int kShortcutBoxes[] = {kDesktopBox, kProgramsBox, kStartupBox, kQuickLaunchBox};

// Where the shortcut of a box lies in this prefix.
std::wstring LinkPath(int box);

struct Link {
  std::wstring target, description;
};
// Loads a shortcut back through the shell's own link object (COM must be
// initialised on the thread).
bool LoadLink(const std::wstring& path, Link* link);
// Deletes all four; makes the Quick Launch folder, which exists only where
// Internet Explorer has run.
void ResetShortcuts();

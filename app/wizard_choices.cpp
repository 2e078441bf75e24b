#include "app/wizard_choices.h"

#include <windows.h>

#include "app/control_ids.h"
#include "app/folder_box.h"
#include "app/setup_state.h"

namespace {

bool Checked(int id) { return IsDlgButtonChecked(gPages[kPageOptions], id) == BST_CHECKED; }

}  // namespace

InstallChoices ReadChoices() {
  InstallChoices choices;
  choices.folder = FolderBoxText();
  choices.demoDatabase = Checked(kIdDemoDatabase);
  choices.desktopLink = Checked(kIdDesktopLink);
  choices.programsLink = Checked(kIdProgramsLink);
  choices.startupLink = Checked(kIdStartupLink);
  choices.quickLaunchLink = Checked(kIdQuickLaunchLink);
  return choices;
}

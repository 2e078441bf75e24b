#include "update/update_switch.h"

#include <windows.h>
#include <wchar.h>

#include "update/step_lanes.h"
#include "update/switch_steps.h"
#include "update/update_staging.h"

namespace {

bool SwitchFile(void* context, int, const SwitchStep& step, StepFailure* failure) {
  return MakeStep(*static_cast<const InstallFolder*>(context), step, true, failure);
}

// The switch: the folders first, in their order (a tree's move brings its
// folders and files), then the other files on two lanes, in no order among
// them: most of a rename's time under Wine goes to its own look through
// the folders, which two processors share.
bool SwitchAll(const InstallFolder& folder, const Journal& journal, StepFailure* failure) {
  const Vec<SwitchStep>& steps = journal.steps;
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i].kind == StepKind::kFile) continue;
    if (!MakeStep(folder, steps[i], true, failure)) return false;
    if (!PlacedPartByPart(folder, steps[i])) continue;
    // The tree's own steps, as a run that goes on after an end would make
    // them.
    WStr below = steps[i].target;
    below.Append(L'\\');
    for (size_t j = i + 1; j < steps.size(); ++j) {
      if (steps[j].inTree && wcsncmp(steps[j].target.c_str(), below.c_str(), below.size()) == 0 &&
          !MakeStep(folder, steps[j], false, failure)) {
        return false;
      }
    }
  }
  return RunOnTwoLanes(journal.steps, SwitchFile, const_cast<InstallFolder*>(&folder), true,
                       failure);
}

}  // namespace

Outcome ApplyUpdate(const InstallFolder& installFolder, ZipHandle* archive, const WStr& packagePath,
                    UpdatePlan* plan) {
  Journal& journal = plan->journal;
  StepFailure failure;
  bool made = WriteJournal(installFolder, journal) ||
              Fail(&failure, installFolder.Path(kJournalPath), false);
  made = made && MakeOwnFolder(installFolder.Path(kIncomingFolder), &failure);
  // The groups of the setup's own names, before anything goes in them.
  for (size_t i = 0; made && i < plan->ownFolders.size(); ++i) {
    made = MakeOwnFolder(installFolder.Path(plan->ownFolders[i].c_str()), &failure);
  }
  made = made && StageAll(installFolder, *plan, archive, packagePath, &failure);
  if (made && !MarkJournal(installFolder, JournalMark::kStaged)) {
    made = Fail(&failure, installFolder.Path(kJournalPath), false);
  }
  journal.staged = made;
  made = made && SwitchAll(installFolder, journal, &failure);
  if (made && MarkJournal(installFolder, JournalMark::kSwitched)) {
    // What is left is the setup's own; a run that cannot remove it now
    // leaves it to the next one, which finds the update made.
    RemoveOurFiles(installFolder, journal, false);
    return Outcome::Done();
  }
  if (made) Fail(&failure, installFolder.Path(kJournalPath), false);

  // Back to the previous version.
  StepFailure undoFailure;
  bool undone = UndoAll(installFolder, &journal, &undoFailure);
  Outcome outcome =
      failure.packageDamaged ? Outcome::Failed(ReportId::kNotAZip)
      : failure.backingUp
          ? Outcome::FailedWithError(ReportId::kBackupFailed, failure.error, failure.path.c_str(),
                                     installFolder.Path(plan->backupFolder.c_str()).c_str())
          : Outcome::FailedWithError(ReportId::kExtractFailed, failure.error,
                                     failure.itemName.empty() ? failure.path.c_str()
                                                            : failure.itemName.c_str());
  if (!undone) outcome.LeftPending();
  return outcome;
}

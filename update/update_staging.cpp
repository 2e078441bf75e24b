#include "update/update_staging.h"

#include <windows.h>

#include "disk/file_system.h"
#include "update/step_lanes.h"

namespace {

struct StageSink {
  HANDLE file;
  DWORD error;
};

bool WriteStaged(void* context, const void* data, uint32_t size) {
  StageSink* sink = static_cast<StageSink*>(context);
  if (FsWrite(sink->file, data, size)) return true;
  sink->error = GetLastError();
  return false;
}

// The item's data, whole and on disk, under its staged name.
bool StageItem(ZipHandle* archive, int32_t index, const WStr& staged, StepFailure* failure,
               ZipItem* item) {
  if (GetArchiveItem(archive, index, item) != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return Fail(failure, staged, false);
  }
  ScopedHandle file = FsCreateFile(staged.c_str(), item->attributes);
  if (!file) return Fail(failure, staged, false);
  StageSink sink = {file.get(), 0};
  ZipResult result = ExtractArchiveItemTo(archive, index, WriteStaged, &sink);
  if (result != ZipResult::Ok) {
    // Either the disk took no more, or the data is not what the package
    // says of it: in update mode this reading is the package's check.
    failure->packageDamaged = result != ZipResult::WriteFailed;
    SetLastError(sink.error ? sink.error : ERROR_INVALID_DATA);
    return Fail(failure, staged, false);
  }
  if (!FsSetTimes(file.get(), &item->creationTime, &item->accessTime, &item->writeTime) ||
      !FsFlush(file.get())) {
    return Fail(failure, staged, false);
  }
  return true;
}

// A staged file that came whole from elsewhere (the demo database), made
// sure to be on disk.
bool FlushStaged(const WStr& staged, StepFailure* failure) {
  return FsFlushFile(staged.c_str()) || Fail(failure, staged, false);
}

struct Staging {
  const InstallFolder* folder;
  // A reader per lane.
  ZipHandle* archives[2];
};

bool StageStep(void* context, int lane, const SwitchStep& step, StepFailure* failure) {
  const Staging& staging = *static_cast<const Staging*>(context);
  WStr staged = staging.folder->Path(step.staged.c_str());
  if (step.item < 0) return FlushStaged(staged, failure);
  ZipItem described{};
  if (StageItem(staging.archives[lane], step.item, staged, failure, &described)) return true;
  failure->itemName = described.name;
  return false;
}

}  // namespace

bool StageAll(const InstallFolder& folder, const UpdatePlan& plan, ZipHandle* archive,
              const WStr& packagePath, StepFailure* failure) {
  ScopedArchive second(OpenArchiveFile(packagePath.c_str()));
  // Without a second reader both lanes take turns on the one.
  Staging staging = {&folder, {archive, second ? second.get() : archive}};
  return RunOnTwoLanes(plan.journal.steps, StageStep, &staging, second.valid(), failure);
}

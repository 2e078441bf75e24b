#pragma once

#include "common/str.h"
#include "disk/install_folder.h"
#include "update/switch_steps.h"
#include "update/update_plan.h"
#include "zip/unzipper.h"

// Every new file of the plan written whole and flushed under its staged
// name, shared over two lanes: inflating and making files keep one
// processor each busy. The second lane reads the package (at packagePath)
// with a reader of its own when one opens. A file that arrived whole from
// elsewhere (the demo database) is flushed only.
bool StageAll(const InstallFolder& folder, const UpdatePlan& plan, ZipHandle* archive,
              const WStr& packagePath, StepFailure* failure);

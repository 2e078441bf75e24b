#pragma once

#include <stdio.h>

#include "common/str.h"
#include "install/worker_inputs.h"

// Opens the file for binary writing from its start ("wb"); on failure sends
// the report (创建 “%s” 失败！) naming reportedPath, with the reason, and
// returns null.
FILE* CreateDownloadFile(const WorkerInputs& inputs, ReportId notCreated, const WStr& path,
                         const WStr& reportedPath);

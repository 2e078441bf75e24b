#pragma once

#include <stdio.h>

#include "common/str.h"
#include "install/download.h"
#include "install/worker_inputs.h"

// Opens the file for binary writing from its start ("wb"), or at its end
// ("ab") to continue it; on failure sends the job's report (创建 “%s” 失败！)
// naming the job's path, with the reason, and returns null.
FILE* CreateDownloadFile(const WorkerInputs& inputs, const DownloadJob& job, const WStr& path,
                         bool append = false);

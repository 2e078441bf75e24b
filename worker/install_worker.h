#pragma once

#include <windows.h>

// The install worker's thread routine; its argument is its WorkerInputs
// (worker/worker_inputs.h), which outlive the thread. Checks the newest
// version, downloads the package, waits for the user's go-ahead and
// installs into the chosen folder. Returns 0 on every path.
DWORD WINAPI InstallWorker(LPVOID inputs);

#pragma once

#include <windows.h>

#include "common/scoped.h"

// The install worker's thread and the WinInet session it downloads on;
// written on the user-interface thread only.
extern ScopedThread gWorkerThread;
extern ScopedInternetHandle gWorkerSession;

// Stops a running worker, then starts a new one for the download page.
void StartWorker(HWND downloadPage);
// Sets the cancel event, closes the worker's session and waits for it; the
// cancel event stays set.
void StopWorker();

// Waits for the handle while still answering messages sent to this thread,
// so that a worker waiting for the user interface (reading a control,
// setting up the progress bar) can always finish. Posted messages stay
// queued.
void WaitAnsweringSentMessages(HANDLE handle);

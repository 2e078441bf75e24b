#pragma once

#include <windows.h>

#include "common/scoped.h"

// The install worker's thread; written on the user-interface thread only.
extern ScopedThread gWorkerThread;

// Stops a running worker, then starts a new one that reports to the
// download page.
void StartWorker(HWND downloadPage);
// Sets the cancel event, cuts the worker's line and waits for it; the
// cancel event stays set.
void StopWorker();
// At the setup's end: stops the worker and removes what its runs kept in
// the setup's scratch folder for a retry.
void EndWorker();

// The user moves onto the download page (at once in update mode): the
// choices as the pages show them go to the worker with the go-ahead.
void GiveGoAhead();
// Back from the download page: false once the worker has taken the
// go-ahead, and the wizard then stays where it is.
bool WithdrawGoAhead();

// Waits for the handle while still answering messages sent to this thread,
// so that a worker waiting for the user interface can always finish.
// Posted messages stay queued.
void WaitAnsweringSentMessages(HANDLE handle);

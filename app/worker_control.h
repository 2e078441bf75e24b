#pragma once

#include <windows.h>
#include <wininet.h>

// The install worker's thread and the WinInet session it downloads on;
// written on the user-interface thread only.
extern HANDLE gWorkerThread;
extern HINTERNET gWorkerSession;

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

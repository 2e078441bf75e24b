#include "app/worker_control.h"

#include "app/setup_state.h"
#include "install/install_worker.h"

ScopedThread gWorkerThread;
ScopedInternetHandle gWorkerSession;

void WaitAnsweringSentMessages(HANDLE handle) {
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
    if (result != WAIT_OBJECT_0 + 1) return;
    // Peeking dispatches the messages sent from other threads.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void StopWorker() {
  if (!gWorkerThread) return;
  SetEvent(gCancelEvent);
  // Makes a blocked read of the worker return at once.
  gWorkerSession.Reset();
  WaitAnsweringSentMessages(gWorkerThread.get());
  gWorkerThread.Reset();
}

void StartWorker(HWND downloadPage) {
  StopWorker();
  ResetEvent(gCancelEvent);
  gWorkerSession.Reset(InternetOpenW(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  gWorkerThread.Reset(CreateThread(nullptr, 0, InstallWorker, downloadPage, 0, nullptr));
}

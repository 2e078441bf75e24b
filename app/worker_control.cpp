#include "app/worker_control.h"

#include "app/control_ids.h"
#include "app/setup_state.h"
#include "app/single_instance.h"
#include "app/status_slot.h"
#include "app/wizard_choices.h"
#include "common/module_path.h"
#include "worker/install_worker.h"
#include "worker/staged_package.h"
#include "worker/worker_inputs.h"

ScopedThread gWorkerThread;
// The line the worker downloads on.
static InternetLine gWorkerLine;

namespace {

// The worker's reports go to the download page through the status slot.
class PageReporter final : public Reporter {
 public:
  void SetPage(HWND page) { page_ = page; }
  void Report(const StatusReport& report) override { PostStatus(page_, report); }
  void PrepareProgress(uint32_t range) override { PostProgressRange(page_, range); }
  // Only the user-interface thread touches windows.
  void EndNavigation() override { PostMessageW(page_, kMsgEndNavigation, 0, 0); }

 private:
  HWND page_ = nullptr;
};

PageReporter gReporter;
GoAhead gGoAhead;
// Read by the worker for as long as it runs; rewritten only once it has
// ended.
WorkerInputs gWorkerInputs;

// Before the user has chosen a folder the package lands in a folder of
// this setup's own under the user's temporary folder, one per setup file
// (its instance key), so that nothing is left in a folder the user did not
// choose. In update mode the install folder is known from the start.
void SetStagingFolder(WorkerInputs* inputs) {
  if (gUpdateMode) {
    inputs->stagingFolder = GetModuleDirPath(L"");
    inputs->stagingIsScratch = false;
    return;
  }
  wchar_t temp[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  WStr path = GetModulePath();
  wchar_t lowered[MAX_PATH] = {};
  wcsncpy_s(lowered, MAX_PATH, path.c_str(), _TRUNCATE);
  LowerAsciiInPlace(lowered);
  inputs->stagingFolder.Clear();
  if (length > 0 && length <= MAX_PATH) {
    inputs->stagingFolder = temp;
    inputs->stagingFolder.Append(L"QueldaSetup-");
    inputs->stagingFolder.Append(MakeInstanceKey(WStr(lowered)));
    inputs->stagingFolder.Append(L"\\");
  }
  inputs->stagingIsScratch = true;
}

}  // namespace

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
  gWorkerLine.Cut(kLineCutWaitMs);
  WaitAnsweringSentMessages(gWorkerThread.get());
  gWorkerThread.Reset();
  // Nothing uses the line now: a cut that had to give up closes it here.
  gWorkerLine.Cut(INFINITE);
}

void EndWorker() {
  StopWorker();
  // Parts kept for a retry go with the setup.
  RemoveStagedDownloads(gWorkerInputs.stagingFolder, gWorkerInputs.stagingIsScratch);
}

void StartWorker(HWND downloadPage) {
  StopWorker();
  ResetEvent(gCancelEvent);
  gWorkerLine.Open();
  gReporter.SetPage(downloadPage);
  gGoAhead.UseEvent(gProceedEvent);
  gGoAhead.ReleaseTaken();
  gWorkerInputs.reporter = &gReporter;
  gWorkerInputs.cancelEvent = gCancelEvent;
  gWorkerInputs.goAhead = &gGoAhead;
  gWorkerInputs.line = &gWorkerLine;
  gWorkerInputs.keys = gUpdateKeys;
  gWorkerInputs.owner = GetAncestor(downloadPage, GA_ROOT);
  SetStagingFolder(&gWorkerInputs);
  gWorkerThread.Reset(CreateThread(nullptr, 0, InstallWorker, &gWorkerInputs, 0, nullptr));
}

void GiveGoAhead() {
  gGoAhead.UseEvent(gProceedEvent);
  gGoAhead.Give(ReadChoices());
}

bool WithdrawGoAhead() {
  gGoAhead.UseEvent(gProceedEvent);
  return gGoAhead.Withdraw();
}

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

#include "common/str.h"
#include "fetch/download.h"
#include "fetch/internet_line.h"
#include "report/status_report.h"
#include "verify/update_keys.h"

// Everything the install worker is handed; it knows no wizard.

// The user's choices, taken on the user-interface thread when the user
// gives the go-ahead.
struct InstallChoices {
  // As the folder box showed it; empty when it held no folder to use.
  WStr folder;
  bool demoDatabase = false;
  bool desktopLink = false;
  bool programsLink = false;
  bool startupLink = false;
  bool quickLaunchLink = false;
};

// Where the worker's reports go. Calls come from the worker thread and
// never wait for the user interface.
class Reporter {
 public:
  virtual void Report(const StatusReport& report) = 0;
  // A new bar of range steps, at position 0.
  virtual void PrepareProgress(uint32_t range) = 0;
  // Past its go-ahead the worker changes the disk: the user stays on the
  // download page for the rest of the run (a withdrawal is refused from
  // the go-ahead's taking on; this tells the user interface to show it).
  virtual void EndNavigation() = 0;

 protected:
  ~Reporter() = default;
};

// The go-ahead and the choices that come with it, handed over between two
// threads: the user-interface thread gives it (and may withdraw it), the
// worker takes it. Once taken it cannot be withdrawn: the worker installs
// exactly the choices it took.
class GoAhead {
 public:
  // The event is manual-reset and stays the caller's.
  explicit GoAhead(HANDLE proceedEvent = nullptr) : event_(proceedEvent) {}
  GoAhead(const GoAhead&) = delete;
  GoAhead& operator=(const GoAhead&) = delete;

  void UseEvent(HANDLE proceedEvent) { event_ = proceedEvent; }
  // Set while a go-ahead is given.
  HANDLE event() const { return event_; }
  // User-interface thread: the go-ahead with these choices.
  void Give(const InstallChoices& choices);
  // User-interface thread, Back from the download page: false, with
  // nothing changed, once the worker has taken the go-ahead.
  bool Withdraw();
  // Worker thread, once the event is set: the choices given, after which
  // a withdrawal is refused. False when it was withdrawn meanwhile.
  bool Take(InstallChoices* choices);
  // A new worker starts: what the last one took is let go; a go-ahead
  // that is given stays given.
  void ReleaseTaken();

 private:
  HANDLE event_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  InstallChoices choices_;
  bool given_ = false;
  bool taken_ = false;
};

struct WorkerInputs {
  Reporter* reporter = nullptr;
  // Set when the worker is to stop; manual-reset.
  HANDLE cancelEvent = nullptr;
  GoAhead* goAhead = nullptr;
  // The WinInet line the worker downloads on; a cut ends a blocked read.
  InternetLine* line = nullptr;
  // Where the package lands before the go-ahead, with its backslash: a
  // folder of the setup's own that the worker removes again (scratch), or
  // the install folder itself when it is known from the start.
  WStr stagingFolder;
  bool stagingIsScratch = false;
  // The keys an update's manifest must be signed with; null or none: no
  // signature is asked for.
  const UpdateKeys* keys = nullptr;
  // The window that owns the system's prompt for a proxy's password (the
  // wizard); none: a proxy that asks for one refuses.
  HWND owner = nullptr;
};

// Whether the setup takes only signed updates.
inline bool SignedUpdates(const WorkerInputs& inputs) {
  return inputs.keys && inputs.keys->count > 0;
}

// Whether the cancel event is set.
inline bool CancelSet(const WorkerInputs& inputs) { return CancelSet(inputs.cancelEvent); }

// Sends a report with its arguments (a null one ends them).
void Send(const WorkerInputs& inputs, ReportId id, const wchar_t* first = nullptr,
          const wchar_t* second = nullptr, const wchar_t* third = nullptr,
          const wchar_t* fourth = nullptr, const wchar_t* fifth = nullptr);
// The same for a report with the progress flag, at that bar position.
void SendProgress(const WorkerInputs& inputs, ReportId id, uint32_t position,
                  const wchar_t* first = nullptr, const wchar_t* second = nullptr,
                  const wchar_t* third = nullptr);

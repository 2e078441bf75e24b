#include "fetch/internet_line.h"

#include "common/str.h"
#include "common/version_number.h"

namespace {

// The line whose gate a call in progress on this thread still holds. In a
// thread-local slot of the system's own: a C++ thread_local links the
// compiler's emulation of it into the setup. Allocated before any thread of
// the setup's starts.
const DWORD gCallLineSlot = TlsAlloc();

InternetLine* CallLine() {
  return gCallLineSlot == TLS_OUT_OF_INDEXES
             ? nullptr
             : static_cast<InternetLine*>(TlsGetValue(gCallLineSlot));
}

// Without a slot no call gives the gate up: a cut then waits for the call
// or gives up, and a blocked call ends by its own limit.
void SetCallLine(InternetLine* line) {
  if (gCallLineSlot != TLS_OUT_OF_INDEXES) TlsSetValue(gCallLineSlot, line);
}

}  // namespace

// In synchronous mode the status callback runs on the calling thread,
// inside the call.
void CALLBACK InternetLine::GiveUpGate(HINTERNET, DWORD_PTR, DWORD, void*, DWORD) {
  InternetLine* line = CallLine();
  if (!line) return;
  SetCallLine(nullptr);
  LeaveCriticalSection(&line->gate_);
}

InternetLine::InternetLine() { InitializeCriticalSection(&gate_); }

InternetLine::~InternetLine() {
  if (session_) InternetCloseHandle(session_);
  DeleteCriticalSection(&gate_);
}

bool InternetLine::Open() {
  if (session_) InternetCloseHandle(session_);
  cut_ = false;
  // Some proxies and firewalls refuse a request that names no program.
  WStr agent(L"QueldaSetup/");
  agent.Append(FormatVersion(GetProductVersion(L"")));
  session_ = InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (session_) InternetSetStatusCallbackW(session_, GiveUpGate);
  return session_ != nullptr;
}

bool InternetLine::Cut(DWORD waitMs) {
  DWORD start = GetTickCount();
  while (!TryEnterCriticalSection(&gate_)) {
    if (GetTickCount() - start >= waitMs) return false;
    Sleep(1);
  }
  if (session_ && !cut_) {
    cut_ = true;
    InternetCloseHandle(session_);
    session_ = nullptr;
  }
  LeaveCriticalSection(&gate_);
  return true;
}

LineUse::LineUse(InternetLine* line) : line_(line) {
  if (line_) EnterCriticalSection(&line_->gate_);
}

LineUse::~LineUse() {
  if (line_) LeaveCriticalSection(&line_->gate_);
}

void LineUse::EnterCall() {
  if (line_) SetCallLine(line_);
}

bool LineUse::LeaveCall() {
  if (!line_) return false;
  // Given up inside the call: taken again.
  if (CallLine() == line_) {
    SetCallLine(nullptr);
  } else {
    EnterCriticalSection(&line_->gate_);
  }
  return open();
}

void LineUse::Pause() {
  if (line_) LeaveCriticalSection(&line_->gate_);
}

bool LineUse::Resume() {
  if (!line_) return false;
  EnterCriticalSection(&line_->gate_);
  return open();
}

void LineUse::Close(HINTERNET handle) {
  if (handle && open()) InternetCloseHandle(handle);
}

void LineHandle::Reset(HINTERNET next) {
  if (handle_) {
    LineUse use(line_);
    use.Close(handle_);
  }
  handle_ = next;
}

void LineHandle::Reset(LineUse* use, HINTERNET next) {
  if (handle_) use->Close(handle_);
  handle_ = next;
}

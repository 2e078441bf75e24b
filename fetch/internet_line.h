#pragma once

#include <windows.h>
#include <wininet.h>

// A WinInet session that another thread may cut while calls on it block:
// the one way every request of the setup is stopped (a cancel, the
// manifest's time limit). Closing a session destroys the handles opened on
// it, whose values may then name handles opened since, so "the session is
// open" and "use a handle" are made one step against the cut: every use
// holds the line's gate (LineUse), and the cut closes the session only
// while holding it. A call that may block gives the gate up from inside,
// at its first status callback: by then it holds its handle, and the cut
// can only make it fail.
class InternetLine {
 public:
  InternetLine();
  ~InternetLine();
  InternetLine(const InternetLine&) = delete;
  InternetLine& operator=(const InternetLine&) = delete;

  // A fresh session (closing one left from before); false when none opens.
  // Only while nobody uses the line.
  bool Open();
  // From any thread: the session closed as soon as no use holds the gate
  // outside a blocking call, waiting at most waitMs for that; true when it
  // is closed. A call blocked on it then returns (on Windows; Wine frees no
  // call blocked on a silent server, which ends at the stall limit). A cut
  // that had to give up leaves the session to Open or the destructor.
  bool Cut(DWORD waitMs);

 private:
  friend class LineUse;
  // The session's status callback, inherited by its connections and
  // requests.
  static void CALLBACK GiveUpGate(HINTERNET, DWORD_PTR, DWORD, void*, DWORD);

  CRITICAL_SECTION gate_;
  HINTERNET session_ = nullptr;
  bool cut_ = false;
};

// How long a stop waits for the gate before it leaves a call blocked
// without a status callback to end by its own limit.
constexpr DWORD kLineCutWaitMs = 300;

// One use of a line's handles, holding its gate for its lifetime.
class LineUse {
 public:
  explicit LineUse(InternetLine* line);
  ~LineUse();
  LineUse(const LineUse&) = delete;
  LineUse& operator=(const LineUse&) = delete;

  // False once the line is cut: its handles are gone.
  bool open() const { return line_ && line_->session_ && !line_->cut_; }
  HINTERNET session() const { return open() ? line_->session_ : nullptr; }
  // Around a call that may block: its first status callback gives the gate
  // up. LeaveCall holds it again and says whether the line is still open.
  void EnterCall();
  bool LeaveCall();
  // Around a wait of the user's (a prompt): the gate given up for its
  // length, so that a stop can cut the line meanwhile. Resume holds it
  // again and says whether the line is still open.
  void Pause();
  bool Resume();
  // A handle opened on the line closed, unless the cut closed it already.
  void Close(HINTERNET handle);

 private:
  InternetLine* line_;
};

// A handle opened on a line, closed at its end under the line's gate.
class LineHandle {
 public:
  explicit LineHandle(InternetLine* line) : line_(line) {}
  ~LineHandle() { Reset(); }
  LineHandle(const LineHandle&) = delete;
  LineHandle& operator=(const LineHandle&) = delete;

  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Closes the one held (not while this thread holds a LineUse of the
  // line: the gate is taken here) and keeps the next.
  void Reset(HINTERNET next = nullptr);
  // The same, for a thread that holds a use of the line.
  void Reset(LineUse* use, HINTERNET next = nullptr);

 private:
  InternetLine* line_;
  HINTERNET handle_ = nullptr;
};

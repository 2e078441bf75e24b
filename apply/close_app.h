#pragma once

// Asks every top-level window of a running process of that executable (the
// full path, compared ignoring case) to close, trying one request after the
// other until the window answers one with non-zero. A window that leaves a
// request unanswered for 5 s is asked nothing more, nor are the other
// windows of its thread. Then waits, 10 s in all at the most, for the
// processes that accepted a request to end. An empty path matches nothing.
void CloseRunningApp(const wchar_t* applicationFile);

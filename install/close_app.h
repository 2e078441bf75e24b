#pragma once

// Asks every top-level window of a running process of that executable (the
// full path, compared ignoring case) to close, trying one request after the
// other until the window answers one with non-zero. A window that leaves a
// request unanswered for 5 s is asked nothing more, nor are the other
// windows of its thread. Does not wait for the process to end.
void CloseRunningApp(const wchar_t* applicationFile);

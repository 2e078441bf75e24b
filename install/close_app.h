#pragma once

// Asks every top-level window of a running process of that executable (the
// full path, compared ignoring case) to close, trying one request after the
// other until the window answers one with non-zero. Does not wait for the
// process to end.
void CloseRunningApp(const wchar_t* applicationFile);

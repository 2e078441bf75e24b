#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);

// First top-level window of the process with that class ("#32770" for a
// dialog); visibleOnly skips hidden ones.
HWND FindProcessWindow(DWORD processId, const wchar_t* className, bool visibleOnly = true);
// Waits for such a window; nullptr when none came in time.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds,
                          bool visibleOnly = true);

std::wstring WindowText(HWND window);

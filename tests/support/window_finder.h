#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Polls until the condition holds or the time is up; true when it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds);

// First top-level window of the process with that class ("#32770" for a
// dialog); visibleOnly skips hidden ones.
HWND FindProcessWindow(DWORD processId, const wchar_t* className, bool visibleOnly = true);
// Waits for such a window; nullptr when none came in time.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds,
                          bool visibleOnly = true);

std::wstring WindowText(HWND window);

// Text of a control of another process (WM_GETTEXT), empty on time-out.
std::wstring ControlText(HWND control);
std::wstring DlgItemText(HWND dialog, int id);
// The window's own WS_VISIBLE (IsWindowVisible also asks its parents).
bool StyleVisible(HWND window);
bool ControlEnabled(HWND dialog, int id);
// Presses the button as a click would (WM_COMMAND with BN_CLICKED) and
// returns once the dialog has handled it, so that what the handler changed
// can be checked at once. Not for a button whose handler opens a modal
// window (Cancel): post that one and wait for the window.
bool ClickButton(HWND dialog, int id);
// The child dialogs of the frame (its pages), in z order.
std::vector<HWND> ChildDialogs(HWND frame);
// The page of the frame that holds a control with this id.
HWND PageWithControl(HWND frame, int id);
// A visible message box of the process: a dialog other than `except` with
// a static text control of id 0xFFFF. nullptr when there is none.
HWND FindMessageBox(DWORD processId, HWND except);
HWND WaitForMessageBox(DWORD processId, HWND except, DWORD milliseconds);

// The window's pixels as the screen shows them, bottom row first, with the
// BMP file header and info header in front; empty when it has no area.
std::string CaptureWindow(HWND window);
// Saves what the screen shows of the window as a 24-bit BMP file (the build
// keeps these screenshots; tools turn them into PNG pictures). The window is
// repainted first and taken once two captures in a row agree, so that a
// picture never shows a page half drawn.
bool SaveWindowPicture(HWND window, const std::wstring& bmpPath);
// <build>\screenshots\<name>.bmp, the folder created when missing; at a
// screen DPI other than 96, <name>_<dpi>dpi.bmp.
std::wstring ScreenshotPath(const std::wstring& name);
// The screen's DPI, the one the programs of the prefix draw at.
int ScreenDpi();

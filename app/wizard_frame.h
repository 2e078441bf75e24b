#pragma once

#include <windows.h>

// Dialog procedure of the wizard frame, dialog template 128.
INT_PTR CALLBACK WizardFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

// Creates a page from its dialog template as a hidden, borderless child of
// the frame at the given vertical offset.
HWND CreatePage(HWND frame, int templateId, int top, DLGPROC procedure);

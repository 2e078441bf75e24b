#pragma once

#include <windows.h>

// Dialog procedure of the wizard frame, dialog template 128.
INT_PTR CALLBACK WizardFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam);

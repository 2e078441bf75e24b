#pragma once

#include <windows.h>

// Dialog procedures of the four wizard pages; each returns FALSE always.
INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DownloadPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Starts the installed Quelda.exe of the folder the folder box shows.
void LaunchApplication();

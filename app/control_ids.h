#pragma once

#include <windows.h>

// Control ids shared by the frame, the pages and the install worker.
enum ControlId : int {
  kIdStatusLine = 1000,
  kIdProgressBar = 1001,
  kIdRetry = 4,
  kIdBack = 1002,
  kIdNext = 1003,
  kIdCancel = IDCANCEL,
  kIdFolderBox = 1004,
  kIdBrowse = 1005,
  kIdDemoDatabase = 1006,
  kIdDesktopLink = 1007,
  kIdProgramsLink = 1008,
  kIdQuickLaunchLink = 1009,
  kIdStartupLink = 1010,
};

// Posted to the download page for every status report; wParam is the
// progress flag.
constexpr UINT WM_SETUP_STATUS = WM_USER + 3;
// Posted to the download page once the worker has taken the go-ahead: the
// user stays on that page for the rest of the run.
constexpr UINT kMsgEndNavigation = WM_APP + 2;

// Sent by a second start to the window of the running setup; a window that
// sets bit 30 of its reply is left alone.
constexpr UINT kMsgActivationQuery = WM_USER + 57;
constexpr LRESULT kActivationRefused = 0x40000000;

// dwData of the WM_COPYDATA activation request.
constexpr ULONG_PTR COPYDATA_ACTIVATE = 4663;

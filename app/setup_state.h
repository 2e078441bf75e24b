#pragma once

#include <windows.h>

#include "verify/update_keys.h"

// Process-wide state of a first start, created by the entry and kept until it
// ends. Both events are manual-reset and created not signalled.
extern HANDLE gCancelEvent;
extern HANDLE gProceedEvent;
// A "Quelda.exe" lies beside the setup: it updates that installation.
extern bool gUpdateMode;
// The keys the setup was built with, that its updates must be signed with.
extern const UpdateKeys* gUpdateKeys;

// The wizard's pages, in the order the frame creates them, and the one on
// show.
enum PageIndex : int {
  kPageWelcome = 0,
  kPageFolder = 1,
  kPageOptions = 2,
  kPageDownload = 3,
  kPageCount = 4,
};
extern HWND gPages[kPageCount];
extern int gPageIndex;

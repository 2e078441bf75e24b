#pragma once

#include <windows.h>

// Process-wide state of a first start, created by the entry and kept until it
// ends. Both events are manual-reset and created not signalled.
extern HANDLE gCancelEvent;
extern HANDLE gProceedEvent;
// A "Quelda.exe" lies beside the setup: it updates that installation.
extern bool gUpdateMode;

#include "app/setup_state.h"

HANDLE gCancelEvent = nullptr;
HANDLE gProceedEvent = nullptr;
bool gUpdateMode = false;
const UpdateKeys* gUpdateKeys = nullptr;
HWND gPages[kPageCount] = {};
int gPageIndex = kPageWelcome;

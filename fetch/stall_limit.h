#pragma once

#include <windows.h>

// How long a download may go without a byte before it ends as failed. The
// schools' shared lines slow down but keep bytes coming: a pause of 30 s is
// past TCP's own retransmissions after a loss (they back off to some 15 s
// in all) and past a congested line's lull, yet short enough that the user
// is not left waiting in front of a bar that does not move; a retry then
// goes on from the bytes already there.
constexpr DWORD kStallLimitMs = 30000;

// The limit the downloads use. The setup links the definition that gives
// kStallLimitMs (stall_limit.cpp); a test program links one of its own to
// try a stall without waiting for it.
DWORD StallLimitMs();

#pragma once

#include <windows.h>
#include <stdint.h>

// How long a download may go without a byte before it ends as failed. The
// schools' shared lines slow down but keep bytes coming: a pause of 30 s is
// past TCP's own retransmissions after a loss (they back off to some 15 s
// in all) and past a congested line's lull, yet short enough that the user
// is not left waiting in front of a bar that does not move; a retry then
// goes on from the bytes already there.
constexpr DWORD kStallLimitMs = 30000;

// A transfer must also bring this much in every window of twice the stall
// limit (a minute), or it ends the same way: a drip of a byte now and then
// never trips the stall limit, yet would keep the user waiting for ever.
// 16 KB a minute is some 270 bytes a second, a fifteenth of what one of
// 60 machines gets from a 2 Mbit/s school line shared by all; at that rate
// the 39 MB package would take 40 hours.
constexpr uint32_t kRateFloorBytes = 16 * 1024;

// The limit the downloads use. The setup links the definition that gives
// kStallLimitMs (stall_limit.cpp); a test program links one of its own to
// try a stall without waiting for it.
DWORD StallLimitMs();

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

// One progress-bar step per 12288 bytes received.
constexpr uint32_t kBytesPerStep = 12288;

// Reads the body in 4096-byte reads into the file until a read gives
// nothing or the cancel event is set; whenever the bar's position changes it
// posts a progress report made from progressFormat, whose two %s are the
// total and the received kilobytes, grouped. Returns the bytes received.
uint32_t DownloadBody(HWND page, HINTERNET request, FILE* file, uint32_t total,
                      const wchar_t* progressFormat);

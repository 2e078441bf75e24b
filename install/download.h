#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>
#include <stdio.h>

#include "common/str.h"

// The number text with "," before every third digit counted back from the
// end of its digit run (1234567 gives 1,234,567; 123 stays 123).
WStr GroupThousands(const WStr& text);
// Decimal digits of the value, without sign or leading zeros.
WStr DecimalText(uint32_t value);

// One progress-bar step per 12288 bytes received.
constexpr uint32_t kBytesPerStep = 12288;

// Reads the body in 4096-byte reads into the file until a read gives
// nothing or the cancel event is set; whenever the bar's position changes it
// posts a progress report made from progressFormat, whose two %s are the
// total and the received kilobytes, grouped. Returns the bytes received.
uint32_t DownloadBody(HWND page, HINTERNET request, FILE* file, uint32_t total,
                      const wchar_t* progressFormat);

// Opens the file for binary writing from its start ("wb"); on failure posts
// "创建 “%s” 失败！" with the reason and returns null.
FILE* CreateDownloadFile(HWND page, const WStr& path);

// The Content-Length of a reply (0 when absent), and its status code.
uint32_t QueryContentLength(HINTERNET request);
uint32_t QueryStatusCode(HINTERNET request);

#pragma once

#include <windows.h>
#include <wininet.h>
#include <stdint.h>

// The Content-Length of an HTTP reply (0 when absent), and its status code.
uint32_t QueryContentLength(HINTERNET request);
uint32_t QueryStatusCode(HINTERNET request);

#pragma once

#include <windows.h>
#include <stdio.h>

#include "common/str.h"

// Opens the file for binary writing from its start ("wb"); on failure posts
// "创建 “%s” 失败！" naming reportedPath, with the reason, and returns null.
FILE* CreateDownloadFile(HWND page, const WStr& path, const WStr& reportedPath);

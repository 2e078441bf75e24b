#pragma once

#include <windows.h>
#include <objidl.h>

// A new memory stream (released by the caller) holding a copy of the banner
// resource, type "PNG", id 419; null when it cannot be made.
IStream* LoadBannerStream();

// The banner's height when drawn at the given width, rounded as MulDiv
// rounds; 0 when the picture cannot be decoded.
int BannerHeight(int width);

// Draws the banner across the top of the frame's client area; the picture
// is decoded at the first call and kept.
void DrawBanner(HWND frame);
// Lets the kept picture go; before GDI+ shuts down.
void ReleaseBanner();

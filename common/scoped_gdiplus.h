#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "common/scoped.h"

// GDI+ from start-up (version 1, no debug callback, its own background
// thread) to shutdown. The start-up's result is not tested: without GDI+ the
// banner is not drawn, and that is all.
class ScopedGdiplus {
 public:
  ScopedGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  ScopedGdiplus(const ScopedGdiplus&) = delete;
  ScopedGdiplus& operator=(const ScopedGdiplus&) = delete;
  ~ScopedGdiplus() { Gdiplus::GdiplusShutdown(token_); }

 private:
  ULONG_PTR token_ = 0;
};

// Owners of GDI+ flat-API objects.
struct GdiplusImageTraits : NullIsNone<Gdiplus::GpImage*> {
  static void Close(Gdiplus::GpImage* v) { Gdiplus::DllExports::GdipDisposeImage(v); }
};
using ScopedGdiplusImage = Scoped<GdiplusImageTraits>;

struct GdiplusGraphicsTraits : NullIsNone<Gdiplus::GpGraphics*> {
  static void Close(Gdiplus::GpGraphics* v) { Gdiplus::DllExports::GdipDeleteGraphics(v); }
};
using ScopedGdiplusGraphics = Scoped<GdiplusGraphicsTraits>;

struct GdiplusImageAttributesTraits : NullIsNone<Gdiplus::GpImageAttributes*> {
  static void Close(Gdiplus::GpImageAttributes* v) {
    Gdiplus::DllExports::GdipDisposeImageAttributes(v);
  }
};
using ScopedGdiplusImageAttributes = Scoped<GdiplusImageAttributesTraits>;

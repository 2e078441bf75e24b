#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

// Owners of GDI+ flat-API objects.
struct GdiplusImageTraits {
  using Value = Gdiplus::GpImage*;
  static Value None() { return nullptr; }
  static bool IsValid(Value v) { return v != nullptr; }
  static void Close(Value v) { Gdiplus::DllExports::GdipDisposeImage(v); }
};

struct GdiplusGraphicsTraits {
  using Value = Gdiplus::GpGraphics*;
  static Value None() { return nullptr; }
  static bool IsValid(Value v) { return v != nullptr; }
  static void Close(Value v) { Gdiplus::DllExports::GdipDeleteGraphics(v); }
};

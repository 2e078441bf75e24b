#include "app/banner.h"

#include <string.h>

#include "common/scoped.h"
#include "common/scoped_gdiplus.h"
#include "res/resource_ids.h"

using namespace Gdiplus::DllExports;

namespace {

// Decodes the banner from a fresh stream; the stream must outlive the image.
bool DecodeBanner(ComPtr<IStream>& stream, ScopedGdiplusImage& image, UINT& width, UINT& height) {
  *stream.Receive() = LoadBannerStream();
  if (!stream) return false;
  Gdiplus::GpImage* decoded = nullptr;
  if (GdipLoadImageFromStream(stream.get(), &decoded) != Gdiplus::Ok) return false;
  image.Reset(decoded);
  width = height = 0;
  GdipGetImageWidth(decoded, &width);
  GdipGetImageHeight(decoded, &height);
  return width > 0;
}

}  // namespace

IStream* LoadBannerStream() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDR_BANNER), L"PNG");
  if (!resource) return nullptr;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  DWORD size = SizeofResource(module, resource);
  if (!bytes || size == 0) return nullptr;
  ScopedGlobal copy(GlobalAlloc(GMEM_MOVEABLE, size));
  if (!copy) return nullptr;
  void* target = GlobalLock(copy.get());
  if (!target) return nullptr;
  memcpy(target, bytes, size);
  GlobalUnlock(copy.get());
  IStream* stream = nullptr;
  // Delete-on-release: the stream owns the copy from here on.
  if (FAILED(CreateStreamOnHGlobal(copy.get(), TRUE, &stream))) return nullptr;
  static_cast<void>(copy.Take());
  return stream;
}

int BannerHeight(int width) {
  ComPtr<IStream> stream;
  ScopedGdiplusImage image;
  UINT imageWidth, imageHeight;
  if (!DecodeBanner(stream, image, imageWidth, imageHeight)) return 0;
  return MulDiv(static_cast<int>(imageHeight), width, static_cast<int>(imageWidth));
}

void DrawBanner(HWND frame) {
  ComPtr<IStream> stream;
  ScopedGdiplusImage image;
  UINT imageWidth, imageHeight;
  if (!DecodeBanner(stream, image, imageWidth, imageHeight)) return;
  RECT client;
  GetClientRect(frame, &client);
  int height = MulDiv(static_cast<int>(imageHeight), client.right, static_cast<int>(imageWidth));
  ScopedGetDC dc(frame);
  Gdiplus::GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc.get(), &graphics) != Gdiplus::Ok) return;
  // Deleted before the device context it draws on is released.
  ScopedGdiplusGraphics owner(graphics);
  GdipDrawImageRectI(graphics, image.get(), 0, 0, client.right, height);
}

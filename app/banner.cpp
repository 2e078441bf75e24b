#include "app/banner.h"

#include <stdint.h>
#include <string.h>

#include "common/scoped.h"
#include "common/scoped_gdiplus.h"
#include "res/resource_ids.h"

using namespace Gdiplus::DllExports;

namespace {

// The 1x picture's width (tools/make_artwork).
constexpr int kBannerWidth = 658;

// A new memory stream holding a copy of a "PNG" resource; null when it
// cannot be made.
IStream* LoadPngStream(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"PNG");
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

// Decodes a picture from a fresh stream; the stream must outlive the image.
bool DecodePng(IStream* fresh, ComPtr<IStream>& stream, ScopedGdiplusImage& image, UINT& width,
               UINT& height) {
  image.Reset();  // before the stream it reads
  *stream.Receive() = fresh;
  if (!stream) return false;
  Gdiplus::GpImage* decoded = nullptr;
  if (GdipLoadImageFromStream(stream.get(), &decoded) != Gdiplus::Ok) return false;
  image.Reset(decoded);
  width = height = 0;
  GdipGetImageWidth(decoded, &width);
  GdipGetImageHeight(decoded, &height);
  return width > 0;
}

// The picture drawn, kept from the first paint on: decoding it takes longer
// than drawing it. The frame's size does not change once it is shown.
ComPtr<IStream> gBannerStream;
ScopedGdiplusImage gBannerImage;
UINT gBannerWidth = 0, gBannerHeight = 0;

uint32_t BigEndian(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// The size the 1x picture declares in its PNG header, without decoding it:
// the frame lays out its pages before it is first shown, and the decoder's
// start-up would delay that.
bool ReadPngSize(UINT* width, UINT* height) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDR_BANNER), L"PNG");
  HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
  auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (!bytes || SizeofResource(module, resource) < 24 ||
      memcmp(bytes, kSignature, sizeof kSignature) != 0 || memcmp(bytes + 12, "IHDR", 4) != 0) {
    return false;
  }
  *width = BigEndian(bytes + 16);
  *height = BigEndian(bytes + 20);
  return *width > 0 && *width <= 0x7FFFFFFF && *height <= 0x7FFFFFFF;
}

}  // namespace

IStream* LoadBannerStream() { return LoadPngStream(IDR_BANNER); }

int BannerHeight(int width) {
  UINT imageWidth, imageHeight;
  if (!ReadPngSize(&imageWidth, &imageHeight)) {
    ComPtr<IStream> stream;
    ScopedGdiplusImage image;
    if (!DecodePng(LoadBannerStream(), stream, image, imageWidth, imageHeight)) return 0;
  }
  return MulDiv(static_cast<int>(imageHeight), width, static_cast<int>(imageWidth));
}

void ReleaseBanner() {
  gBannerImage.Reset();
  gBannerStream.Reset();
}

void DrawBanner(HWND frame) {
  RECT client;
  GetClientRect(frame, &client);
  // From the 1x picture, as the pages were placed.
  int height = BannerHeight(client.right);
  if (height <= 0) return;
  if (!gBannerImage) {
    // Above 96 DPI the frame is wider than the 1x picture: the 2x one drawn
    // smaller keeps the text sharp where the 1x one drawn larger would blur
    // it.
    bool large =
        client.right > kBannerWidth && DecodePng(LoadPngStream(IDR_BANNER_2X), gBannerStream,
                                                 gBannerImage, gBannerWidth, gBannerHeight);
    if (!large &&
        !DecodePng(LoadBannerStream(), gBannerStream, gBannerImage, gBannerWidth, gBannerHeight)) {
      ReleaseBanner();
      return;
    }
  }
  ScopedGetDC dc(frame);
  Gdiplus::GpGraphics* graphics = nullptr;
  if (GdipCreateFromHDC(dc.get(), &graphics) != Gdiplus::Ok) return;
  // Deleted before the device context it draws on is released.
  ScopedGdiplusGraphics owner(graphics);
  GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
  GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
  // Mirrored beyond its edges, the picture's own pixels are filtered into
  // the border ones, not transparency.
  Gdiplus::GpImageAttributes* attributes = nullptr;
  GdipCreateImageAttributes(&attributes);
  ScopedGdiplusImageAttributes attributesOwner(attributes);
  if (attributes) GdipSetImageAttributesWrapMode(attributes, Gdiplus::WrapModeTileFlipXY, 0, FALSE);
  GdipDrawImageRectRectI(graphics, gBannerImage.get(), 0, 0, client.right, height, 0, 0,
                         static_cast<int>(gBannerWidth), static_cast<int>(gBannerHeight),
                         Gdiplus::UnitPixel, attributes, nullptr, nullptr);
}

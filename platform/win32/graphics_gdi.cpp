// The five bitmap calls on Windows: straight through to GDI, which owns the
// host's device contexts and bitmaps. The shared structures are laid out
// exactly as BITMAPINFOHEADER and RGBQUAD, so they pass unchanged.
#include <windows.h>

#include "platform/dib_color_counts.h"
#include "platform/graphics.h"

namespace qv::gfx {

static_assert(sizeof(DibHeader) == sizeof(BITMAPINFOHEADER));
static_assert(sizeof(DibColor) == sizeof(RGBQUAD));
static_assert(kBiRgb == BI_RGB && kDibRgbColors == DIB_RGB_COLORS && kColorOnColor == COLORONCOLOR &&
              kSrcCopy == SRCCOPY);

int32_t GetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits, void* info,
                  uint32_t usage)
{
    return KeepingColorCounts(info, [&] {
        return ::GetDIBits(dc, bitmap, startScan, scanLines, bits, static_cast<BITMAPINFO*>(info), usage);
    });
}

int32_t SetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, const void* bits,
                  const void* info, uint32_t usage)
{
    return ::SetDIBits(dc, bitmap, startScan, scanLines, bits, static_cast<const BITMAPINFO*>(info), usage);
}

int32_t SetDIBitsToDevice(QvDC dc, int32_t xDest, int32_t yDest, uint32_t width, uint32_t height, int32_t xSrc,
                          int32_t ySrc, uint32_t startScan, uint32_t scanLines, const void* bits, const void* info,
                          uint32_t usage)
{
    return ::SetDIBitsToDevice(dc, xDest, yDest, width, height, xSrc, ySrc, startScan, scanLines, bits,
                               static_cast<const BITMAPINFO*>(info), usage);
}

// GDI keeps a bitmap's memory to itself.
uint32_t* DirectPixelWords(QvBitmap, int32_t, int32_t) { return nullptr; }

int32_t SetStretchBltMode(QvDC dc, int32_t mode) { return ::SetStretchBltMode(dc, mode); }

int32_t StretchDIBits(QvDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight, int32_t xSrc,
                      int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits, const void* info,
                      uint32_t usage, uint32_t rop)
{
    return ::StretchDIBits(dc, xDest, yDest, destWidth, destHeight, xSrc, ySrc, srcWidth, srcHeight, bits,
                           static_cast<const BITMAPINFO*>(info), usage, rop);
}

}  // namespace qv::gfx

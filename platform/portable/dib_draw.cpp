// Drawing a DIB into the bitmap selected in a device context.
//
// The destination rectangle is clipped to the bitmap. The source rectangle
// is placed as GDI places it: (xSrc, ySrc) is its lower-left corner counted
// from the bottom row for a bottom-up DIB, its upper-left corner for a
// top-down one; source pixels outside the DIB (or outside the rows that
// SetDIBitsToDevice was handed) are not drawn. StretchDIBits maps
// destination offset d to source offset floor(d * srcSize / destSize) and so
// drops or repeats rows and columns; it never blends, whatever the stretch
// mode, and it does not mirror: sizes of 0 or below draw nothing and return
// 0. Only SRCCOPY is supported. Both calls return the number of destination
// rows drawn, 0 when nothing was drawn.
#include <new>

#include "platform/graphics.h"
#include "platform/portable/dib_format.h"
#include "platform/portable/pixel_blit.h"

namespace qv::gfx {

namespace {

constexpr int32_t kBlackOnWhite = 1;
constexpr int32_t kHalftone = 4;

// Top row of the source rectangle in picture rows (from the top).
int64_t SourceTop(const host::DibFormat& dib, int64_t ySrc, int64_t height)
{
    return dib.bottomUp ? dib.height - ySrc - height : ySrc;
}

}  // namespace

int32_t SetDIBitsToDevice(QvDC dc, int32_t xDest, int32_t yDest, uint32_t width, uint32_t height,
                          int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t scanLines,
                          const void* bits, const void* info, uint32_t usage)
{
    if (dc == nullptr || dc->selected == nullptr || !dc->selected->bits || bits == nullptr) return 0;
    if (width == 0 || height == 0) return 0;
    const std::optional<host::DibFormat> dib = host::ParseDib(info, usage);
    if (!dib) return 0;
    uint32_t palette[256] = {};
    if (host::IsIndexed(dib->format)) host::ReadDibColors(info, *dib, palette);

    try {
        const host::Rect to{xDest, yDest, width, height};
        const host::Rect from{xSrc, SourceTop(*dib, ySrc, height), width, height};
        return host::Blit(host::BitmapPlane(*dc->selected), to,
                          host::DibPlane(*dib, bits, startScan, scanLines, palette), from, false);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

int32_t SetStretchBltMode(QvDC dc, int32_t mode)
{
    if (dc == nullptr || mode < kBlackOnWhite || mode > kHalftone) return 0;
    const int32_t previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

int32_t StretchDIBits(QvDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight, const void* bits,
                      const void* info, uint32_t usage, uint32_t rop)
{
    if (rop != kSrcCopy) return 0;
    if (dc == nullptr || dc->selected == nullptr || !dc->selected->bits || bits == nullptr) return 0;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0) return 0;
    const std::optional<host::DibFormat> dib = host::ParseDib(info, usage);
    if (!dib) return 0;
    uint32_t palette[256] = {};
    if (host::IsIndexed(dib->format)) host::ReadDibColors(info, *dib, palette);

    try {
        const host::Rect to{xDest, yDest, destWidth, destHeight};
        const host::Rect from{xSrc, SourceTop(*dib, ySrc, srcHeight), srcWidth, srcHeight};
        const auto allRows = static_cast<uint32_t>(dib->height);
        return host::Blit(host::BitmapPlane(*dc->selected), to,
                          host::DibPlane(*dib, bits, 0, allRows, palette), from, false);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace qv::gfx

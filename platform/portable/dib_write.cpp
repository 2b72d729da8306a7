// SetDIBits: writing a caller's DIB into a host bitmap.
//
// The same row mapping as GetDIBits: the DIB and the bitmap share their
// top-left pixel, and only pixels present in both are written. A bitmap of
// 8 bits or fewer receives, for each pixel, the entry of its own palette
// nearest to the DIB's colour (the DIB's index itself where both colour
// tables agree on that entry).
#include <new>

#include "platform/graphics.h"
#include "platform/portable/dib_format.h"
#include "platform/portable/pixel_blit.h"

namespace qv::gfx {

int32_t SetDIBits(QvDC, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, const void* bits,
                  const void* info, uint32_t usage)
{
    if (bitmap == nullptr || !bitmap->bits || bits == nullptr) return 0;
    const std::optional<host::DibFormat> dib = host::ParseDib(info, usage);
    if (!dib) return 0;
    uint32_t palette[256] = {};
    if (host::IsIndexed(dib->format)) host::ReadDibColors(info, *dib, palette);

    try {
        HostBitmap& target = *bitmap;
        const host::Rect whole{0, 0, target.width, target.height};
        return host::Blit(host::BitmapPlane(target), whole,
                          host::DibPlane(*dib, bits, startScan, scanLines, palette), whole, false);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace qv::gfx

// Copying a rectangle of pixels from one picture to another, unscaled or
// stretched by dropping and repeating rows and columns, with clipping on
// both sides. The four DIB calls are all built on Blit.
#pragma once

#include <cstdint>

#include "platform/portable/dib_format.h"
#include "platform/portable/host_objects.h"
#include "platform/portable/pixel_codec.h"

namespace qv::host {

// Rows of a picture as they lie in memory. Picture rows are numbered from
// the top; only rows [rowBegin, rowEnd) and columns [0, width) exist.
struct PixelPlane {
    uint8_t* base = nullptr;  // memory row 0 (never written through for a source)
    uint32_t stride = 0;
    int64_t rowBegin = 0;
    int64_t rowEnd = 0;
    int64_t anchor = 0;  // memory row = bottomUp ? anchor - row : row - anchor
    bool bottomUp = false;
    int32_t width = 0;
    PixelFormat format = PixelFormat::Rgb32;
    const uint32_t* palette = nullptr;  // 2^depth entries at 8 bits or fewer
    uint32_t paletteCount = 0;

    uint8_t* Row(int64_t row) const
    {
        const int64_t memoryRow = bottomUp ? anchor - row : row - anchor;
        return base + static_cast<uint64_t>(memoryRow) * stride;
    }
};

PixelPlane BitmapPlane(HostBitmap& bitmap);

// The rows of a DIB that a buffer of `scanLines` rows starting at DIB row
// `startScan` holds (DIB rows counted in memory order: from the bottom for a
// bottom-up DIB). Rows past the DIB's height are not there, whatever
// `scanLines` says. `palette` must hold 2^depth entries for palette formats.
PixelPlane DibPlane(const DibFormat& dib, const void* bits, uint32_t startScan, uint32_t scanLines,
                    const uint32_t* palette);

// A rectangle in picture coordinates (64-bit, so no sum overflows).
struct Rect {
    int64_t x, y, width, height;
};

// Copies `from` of `source` onto `to` of `target`, each target pixel taking
// the source pixel floor(offset * sourceSize / targetSize) from the source
// rectangle's corner. Target pixels outside the target, or whose source
// pixel lies outside the source, stay as they are. With `zeroPadding`, the
// row padding after the last pixel of every written target row is cleared.
// Returns the number of target rows written. Sizes must be positive.
// May throw std::bad_alloc.
int32_t Blit(const PixelPlane& target, Rect to, const PixelPlane& source, Rect from,
             bool zeroPadding);

}  // namespace qv::host

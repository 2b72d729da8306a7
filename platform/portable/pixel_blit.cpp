#include "platform/portable/pixel_blit.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qv::host {

namespace {

PixelFormat BitmapFormat(int32_t depth)
{
    switch (depth) {
    case 1: return PixelFormat::Index1;
    case 4: return PixelFormat::Index4;
    case 8: return PixelFormat::Index8;
    case 16: return PixelFormat::Rgb555;
    case 24: return PixelFormat::Rgb24;
    default: return PixelFormat::Rgb32;
    }
}

// Clears the bits of a row after its last pixel, up to the row's stride.
void ClearPadding(uint8_t* row, const PixelPlane& plane)
{
    const uint64_t usedBits = uint64_t{static_cast<uint32_t>(plane.width)} * BitsPerPixel(plane.format);
    const uint64_t fullBytes = usedBits / 8;
    const uint32_t partialBits = static_cast<uint32_t>(usedBits % 8);
    uint64_t clearFrom = fullBytes;
    if (partialBits != 0) {
        row[fullBytes] = static_cast<uint8_t>(row[fullBytes] & (0xFFu << (8 - partialBits)));
        ++clearFrom;
    }
    if (clearFrom < plane.stride) std::memset(row + clearFrom, 0, plane.stride - clearFrom);
}

}  // namespace

PixelPlane BitmapPlane(HostBitmap& bitmap)
{
    PixelPlane plane;
    plane.base = bitmap.bits.get();
    plane.stride = bitmap.stride;
    plane.rowBegin = 0;
    plane.rowEnd = bitmap.height;
    plane.anchor = 0;
    plane.bottomUp = false;
    plane.width = bitmap.width;
    plane.format = BitmapFormat(bitmap.depth);
    plane.palette = bitmap.palette;
    plane.paletteCount = bitmap.depth <= 8 ? 1u << bitmap.depth : 0;
    return plane;
}

PixelPlane DibPlane(const DibFormat& dib, const void* bits, uint32_t startScan, uint32_t scanLines,
                    const uint32_t* palette)
{
    PixelPlane plane;
    plane.base = static_cast<uint8_t*>(const_cast<void*>(bits));
    plane.stride = dib.stride;
    plane.width = dib.width;
    plane.format = dib.format;
    plane.palette = palette;
    plane.paletteCount = IsIndexed(dib.format) ? 1u << BitsPerPixel(dib.format) : 0;
    const int64_t lines = startScan >= dib.height ? 0 : std::min<int64_t>(scanLines, dib.height - startScan);
    plane.bottomUp = dib.bottomUp;
    if (dib.bottomUp) {
        // Memory row s holds DIB row startScan + s, counted from the bottom.
        plane.anchor = dib.height - 1 - startScan;
        plane.rowBegin = plane.anchor - lines + 1;
        plane.rowEnd = plane.anchor + 1;
    } else {
        plane.anchor = startScan;
        plane.rowBegin = startScan;
        plane.rowEnd = startScan + lines;
    }
    return plane;
}

int32_t Blit(const PixelPlane& target, Rect to, const PixelPlane& source, Rect from, bool zeroPadding)
{
    const bool scaleX = to.width != from.width;
    const bool scaleY = to.height != from.height;
    // Offsets within the rectangles stay below 2^32 and the sizes below
    // 2^31 when scaled, so the products fit in 64 bits.
    auto sourceColumn = [&](int64_t x) {
        return from.x + (scaleX ? (x - to.x) * from.width / to.width : x - to.x);
    };
    auto sourceRow = [&](int64_t y) {
        return from.y + (scaleY ? (y - to.y) * from.height / to.height : y - to.y);
    };

    int64_t x0 = std::max<int64_t>(to.x, 0);
    int64_t x1 = std::min<int64_t>(to.x + to.width, target.width);
    const int64_t y0 = std::max(to.y, target.rowBegin);
    const int64_t y1 = std::min(to.y + to.height, target.rowEnd);
    if (x0 >= x1 || y0 >= y1) return 0;
    // Source columns grow with target columns: trim both ends to the
    // columns whose source pixel exists.
    if (scaleX) {
        while (x0 < x1 && sourceColumn(x0) < 0) ++x0;
        while (x0 < x1 && sourceColumn(x1 - 1) >= source.width) --x1;
    } else {
        const int64_t shift = from.x - to.x;
        x0 = std::max(x0, -shift);
        x1 = std::min(x1, int64_t{source.width} - shift);
    }
    if (x0 >= x1) return 0;

    const auto count = static_cast<uint32_t>(x1 - x0);
    const auto targetX = static_cast<uint32_t>(x0);
    const auto sourceX = static_cast<uint32_t>(sourceColumn(x0));
    PixelConverter converter(source.format, source.palette, target.format, target.palette,
                             target.paletteCount);
    const uint32_t depth = BitsPerPixel(target.format);
    const bool copyBytes = !scaleX && converter.Identity() && depth >= 8;
    const bool direct = !scaleX && HasDirectRowConversion(source.format, target.format);

    std::vector<uint32_t> columns;
    std::vector<uint32_t> values;
    if (!copyBytes && !direct) values.resize(count);
    if (scaleX) {
        columns.resize(count);
        for (uint32_t i = 0; i < count; ++i) columns[i] = static_cast<uint32_t>(sourceColumn(x0 + i));
    }

    int64_t rowsWritten = 0;
    int64_t loadedRow = source.rowBegin - 1;  // no source row converted yet
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t sy = sourceRow(y);
        if (sy < source.rowBegin || sy >= source.rowEnd) continue;
        uint8_t* out = target.Row(y);
        if (copyBytes) {
            const std::size_t bytesPerPixel = depth / 8;
            std::memcpy(out + targetX * bytesPerPixel, source.Row(sy) + sourceX * bytesPerPixel,
                        count * bytesPerPixel);
        } else if (direct) {
            ConvertRowDirect(source.Row(sy), source.format, sourceX, out, target.format, targetX, count);
        } else {
            // A repeated source row converts to the same target row.
            if (sy != loadedRow) {
                if (scaleX)
                    GatherRow(source.Row(sy), source.format, columns.data(), count, values.data());
                else
                    UnpackRow(source.Row(sy), source.format, sourceX, count, values.data());
                converter.Convert(values.data(), count);
                loadedRow = sy;
            }
            PackRow(values.data(), count, target.format, out, targetX);
        }
        if (zeroPadding) ClearPadding(out, target);
        ++rowsWritten;
    }
    return static_cast<int32_t>(std::min<int64_t>(rowsWritten, INT32_MAX));
}

}  // namespace qv::host

// GetDIBits: reading a host bitmap into a caller-described DIB.
//
// Where sizes differ, the bitmap and the DIB share their top-left pixel:
// memory row s of the caller's buffer is picture row startScan + s of a
// top-down DIB, and picture row |biHeight| - 1 - (startScan + s) of a
// bottom-up one. Only rows that exist in both the bitmap and the buffer
// (at most min(scanLines, |biHeight| - startScan) rows) and columns below
// both widths are written; the rest of the buffer is left as it is, except
// that the padding bytes after the last pixel of a written row are cleared.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

#include "platform/dib_color_counts.h"
#include "platform/graphics.h"
#include "platform/portable/dib_format.h"
#include "platform/portable/dib_read.h"
#include "platform/portable/pixel_blit.h"
#include "platform/portable/standard_palettes.h"

namespace qv::gfx {

namespace {

// A header with biBitCount 0 and no buffer asks for the bitmap's own format.
bool IsFormatQuery(const void* info)
{
    DibHeader header;
    std::memcpy(&header, info, sizeof header);
    return header.biSize >= sizeof header && header.biSize <= 124 && header.biBitCount == 0;
}

int32_t DescribeBitmap(const HostBitmap& bitmap, void* info)
{
    DibHeader header;
    std::memcpy(&header, info, sizeof header);
    header.biWidth = bitmap.width;
    header.biHeight = bitmap.height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<uint16_t>(bitmap.depth);
    header.biCompression = kBiRgb;
    header.biSizeImage = bitmap.stride * static_cast<uint32_t>(bitmap.height);
    header.biClrUsed = 0;
    header.biClrImportant = 0;
    std::memcpy(info, &header, sizeof header);
    return bitmap.height;
}

}  // namespace

int32_t GetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits, void* info,
                  uint32_t usage)
{
    return KeepingColorCounts(
        info, [&] { return host::ReadBitmapLikeGdi(dc, bitmap, startScan, scanLines, bits, info, usage); });
}

}  // namespace qv::gfx

namespace qv::host {

int32_t ReadBitmapLikeGdi(QvDC, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits, void* info,
                          uint32_t usage)
{
    using namespace qv::gfx;
    if (bitmap == nullptr || !bitmap->bits || info == nullptr) return 0;
    if (bits == nullptr && IsFormatQuery(info)) return DescribeBitmap(*bitmap, info);
    const std::optional<host::DibFormat> dib = host::ParseDib(info, usage);
    if (!dib) return 0;

    // A palette DIB of the bitmap's depth gets the bitmap's indices and
    // palette; one of another depth gets its standard palette and the
    // nearest entry for every pixel.
    uint32_t palette[256] = {};
    if (host::IsIndexed(dib->format)) {
        const auto depth = static_cast<int32_t>(host::BitsPerPixel(dib->format));
        if (depth == bitmap->depth)
            std::memcpy(palette, bitmap->palette, sizeof(uint32_t) << depth);
        else
            host::FillStandardPalette(depth, palette);
        host::WriteDibColors(info, *dib, palette);
        // GDI reports the table it filled as a full one.
        const uint32_t allColors = 0;
        std::memcpy(static_cast<uint8_t*>(info) + offsetof(DibHeader, biClrUsed), &allColors, sizeof allColors);
    }
    host::WriteDibMasks(info, *dib);

    const host::PixelPlane target = host::DibPlane(*dib, bits, startScan, scanLines, palette);
    if (bits == nullptr) {
        // Only the image size is asked for; report the rows a read would copy.
        const uint64_t imageBytes = uint64_t{dib->stride} * static_cast<uint64_t>(dib->height);
        const uint32_t sizeImage = imageBytes > UINT32_MAX ? 0 : static_cast<uint32_t>(imageBytes);
        std::memcpy(static_cast<uint8_t*>(info) + offsetof(DibHeader, biSizeImage), &sizeImage,
                    sizeof sizeImage);
        const int64_t rows = std::min<int64_t>(target.rowEnd, bitmap->height) -
                             std::max<int64_t>(target.rowBegin, 0);
        return rows > 0 ? static_cast<int32_t>(rows) : 0;
    }

    try {
        HostBitmap& source = *bitmap;
        const host::Rect whole{0, 0, source.width, source.height};
        return host::Blit(target, whole, host::BitmapPlane(source), whole, true);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace qv::host

namespace qv::gfx {

// A 32-bit bitmap row is exactly width words (no padding), and its storage
// comes from malloc or aligned_alloc, where the words may live.
uint32_t* DirectPixelWords(QvBitmap bitmap, int32_t width, int32_t height)
{
    if (bitmap == nullptr || !bitmap->bits || bitmap->depth != 32) return nullptr;
    if (width < 1 || height < 1 || bitmap->width != width || bitmap->height < height) return nullptr;
    return reinterpret_cast<uint32_t*>(bitmap->bits.get());
}

}  // namespace qv::gfx

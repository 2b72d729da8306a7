// The pictures that the Windows host and the portable build both hand to the
// GIF writer and the still saver: raw pixel bytes of a top-down picture at
// 8, 16, 24 or 32 bits, and the colour table of the 8-bit one. Header-only,
// so that the Windows host program builds it too.
#pragma once

#include <cstdint>

namespace qv::test {

inline constexpr int32_t kExportWidth = 37, kExportHeight = 23;
inline constexpr int32_t kExportDepths[] = {8, 16, 24, 32};

// Byte `i` of pixel (x, y) of frame `frame`. 16-bit pixels keep their top
// bit clear (5-5-5), 32-bit ones their top byte.
inline uint8_t ExportPixelByte(int32_t depth, int32_t x, int32_t y, int32_t i, int32_t frame)
{
    if (depth == 16 && i == 1) return uint8_t(((x * 5 + y * 3 + frame * 29) ^ (x * y)) & 0x7F);
    if (depth == 32 && i == 3) return 0;
    return uint8_t((x * 37 + y * 11 + i * 101 + frame * 53) ^ (x * y));
}

// Entry `index` of the 8-bit picture's colour table, 0x00RRGGBB.
inline uint32_t ExportPaletteWord(int32_t index)
{
    return uint32_t((index * 3) & 0xFF) << 16 | uint32_t(255 - index) << 8 | uint32_t((index * 7) & 0xFF);
}

// Fills a top-down picture whose rows are `stride` bytes apart.
inline void FillExportPicture(uint8_t* bits, int32_t stride, int32_t depth, int32_t frame)
{
    const int32_t bytes = depth / 8;
    for (int32_t y = 0; y < kExportHeight; ++y)
        for (int32_t x = 0; x < kExportWidth; ++x)
            for (int32_t i = 0; i < bytes; ++i)
                bits[y * stride + x * bytes + i] = ExportPixelByte(depth, x, y, i, frame);
}

}  // namespace qv::test

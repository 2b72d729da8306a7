#include "platform/portable/standard_palettes.h"

namespace qv::host {

namespace {

constexpr uint32_t kWindows16[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

constexpr uint32_t Grey(uint32_t level) { return level << 16 | level << 8 | level; }

}  // namespace

void FillStandardPalette(int32_t bitsPerPixel, uint32_t* palette)
{
    switch (bitsPerPixel) {
    case 1:
        palette[0] = 0x000000;
        palette[1] = 0xFFFFFF;
        break;
    case 4:
        for (uint32_t i = 0; i < 16; ++i) palette[i] = kWindows16[i];
        break;
    case 8:
        for (uint32_t r = 0; r < 6; ++r)
            for (uint32_t g = 0; g < 6; ++g)
                for (uint32_t b = 0; b < 6; ++b)
                    palette[36 * r + 6 * g + b] = (51 * r) << 16 | (51 * g) << 8 | 51 * b;
        // round(255 (i + 1) / 41) without floating point.
        for (uint32_t i = 0; i < 40; ++i) palette[216 + i] = Grey((510 * (i + 1) + 41) / 82);
        break;
    default:
        break;
    }
}

}  // namespace qv::host

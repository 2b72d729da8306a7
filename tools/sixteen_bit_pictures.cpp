#include "sixteen_bit_pictures.h"

namespace qvcli {

uint8_t NarrowSample(uint16_t value) { return static_cast<uint8_t>(value / 257u); }

uint8_t NarrowAlpha(uint16_t value) { return static_cast<uint8_t>(255u - (65535u - value) / 257u); }

FIBITMAP* NarrowSixteenBitPicture(FIBITMAP* picture)
{
    const FREE_IMAGE_TYPE type = FreeImage_GetImageType(picture);
    const int bpp = type == FIT_UINT16 ? 8 : type == FIT_RGB16 ? 24 : type == FIT_RGBA16 ? 32 : 0;
    if (bpp == 0) return nullptr;
    const int width = static_cast<int>(FreeImage_GetWidth(picture)), height = static_cast<int>(FreeImage_GetHeight(picture));
    FIBITMAP* narrow = FreeImage_Allocate(width, height, bpp);  // 8 bits: a grey palette
    if (narrow == nullptr) return nullptr;
    for (int y = 0; y < height; ++y) {
        const BYTE* in = FreeImage_GetScanLine(picture, y);
        BYTE* out = FreeImage_GetScanLine(narrow, y);
        for (int x = 0; x < width; ++x) {
            if (type == FIT_UINT16) {
                out[x] = NarrowSample(reinterpret_cast<const WORD*>(in)[x]);
            } else if (type == FIT_RGB16) {
                const FIRGB16& p = reinterpret_cast<const FIRGB16*>(in)[x];
                BYTE* q = out + 3 * x;
                q[FI_RGBA_RED] = NarrowSample(p.red), q[FI_RGBA_GREEN] = NarrowSample(p.green);
                q[FI_RGBA_BLUE] = NarrowSample(p.blue);
            } else {
                const FIRGBA16& p = reinterpret_cast<const FIRGBA16*>(in)[x];
                BYTE* q = out + 4 * x;
                q[FI_RGBA_RED] = NarrowSample(p.red), q[FI_RGBA_GREEN] = NarrowSample(p.green);
                q[FI_RGBA_BLUE] = NarrowSample(p.blue), q[FI_RGBA_ALPHA] = NarrowAlpha(p.alpha);
            }
        }
    }
    return narrow;
}

}  // namespace qvcli

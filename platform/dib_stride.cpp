// Row size of a device-independent bitmap; shared by every platform build.
#include "platform/graphics.h"

namespace qv::gfx {

uint32_t DibStride(int32_t width, int32_t bitsPerPixel)
{
    if (width <= 0 || bitsPerPixel <= 0) return 0;
    // Both factors are below 2^31, so the bit count fits easily in 64 bits.
    const uint64_t rowBits = static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel);
    const uint64_t stride = (rowBits + 31u) / 32u * 4u;
    if (stride > UINT32_MAX) return 0;
    return static_cast<uint32_t>(stride);
}

}  // namespace qv::gfx

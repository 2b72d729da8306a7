#include "support/dib_buffers.h"

#include <cstring>

namespace qv::test {

gfx::DibInfo MakeDibInfo(int32_t width, int32_t height, uint16_t bitsPerPixel)
{
    gfx::DibInfo info{};
    info.header.biSize = sizeof(gfx::DibHeader);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = bitsPerPixel;
    info.header.biCompression = gfx::kBiRgb;
    return info;
}

GuardedBuffer::GuardedBuffer(std::size_t size) : size_(size), storage_(size + 2 * kGuardBytes, kGuard)
{
    std::memset(data(), kCanary, size);
}

uint32_t GuardedBuffer::Word(std::size_t byteOffset) const
{
    uint32_t word;
    std::memcpy(&word, data() + byteOffset, 4);
    return word;
}

bool GuardedBuffer::GuardsIntact() const
{
    for (std::size_t i = 0; i < kGuardBytes; ++i)
        if (storage_[i] != kGuard || storage_[kGuardBytes + size_ + i] != kGuard) return false;
    return true;
}

}  // namespace qv::test

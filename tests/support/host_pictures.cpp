#include "support/host_pictures.h"

#include <cstring>

namespace qv::test {

BitmapHandle MakeBitmap(int32_t width, int32_t height, int32_t depth)
{
    return BitmapHandle(CreateHostBitmap(width, height, depth));
}

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

uint8_t* BitmapRow(HostBitmap* bitmap, int32_t y)
{
    return GetHostBitmapBits(bitmap) + static_cast<std::size_t>(y) * GetHostBitmapStride(bitmap);
}

uint32_t BitmapWord(HostBitmap* bitmap, int32_t x, int32_t y)
{
    uint32_t word;
    std::memcpy(&word, BitmapRow(bitmap, y) + 4 * static_cast<std::size_t>(x), 4);
    return word;
}

void SetBitmapWord(HostBitmap* bitmap, int32_t x, int32_t y, uint32_t word)
{
    std::memcpy(BitmapRow(bitmap, y) + 4 * static_cast<std::size_t>(x), &word, 4);
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

// Host bitmaps and DIB buffers for the platform tests: owning handles,
// headers, canary-filled buffers and direct pixel access.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <quorvane/host.h>

#include "platform/graphics.h"

namespace qv::test {

struct BitmapDeleter {
    void operator()(HostBitmap* bitmap) const { DeleteHostBitmap(bitmap); }
};
struct DcDeleter {
    void operator()(HostDC* dc) const { DeleteHostDC(dc); }
};
using BitmapHandle = std::unique_ptr<HostBitmap, BitmapDeleter>;
using DcHandle = std::unique_ptr<HostDC, DcDeleter>;

BitmapHandle MakeBitmap(int32_t width, int32_t height, int32_t depth);

// A BITMAPINFO with room for 256 colours: BI_RGB, one plane, the rest zero.
gfx::DibInfo MakeDibInfo(int32_t width, int32_t height, uint16_t bitsPerPixel);

// The 32-bit word at (x, y) of a 32-bit bitmap, or stores one.
uint32_t BitmapWord(HostBitmap* bitmap, int32_t x, int32_t y);
void SetBitmapWord(HostBitmap* bitmap, int32_t x, int32_t y, uint32_t word);
// Raw pixel bytes of one bitmap row.
uint8_t* BitmapRow(HostBitmap* bitmap, int32_t y);

// A buffer of `size` bytes filled with kCanary, between two guard zones of
// kGuardBytes that must stay intact.
class GuardedBuffer {
public:
    static constexpr uint8_t kCanary = 0xCD;
    static constexpr uint8_t kGuard = 0xA5;
    static constexpr std::size_t kGuardBytes = 64;

    explicit GuardedBuffer(std::size_t size);
    uint8_t* data() { return storage_.data() + kGuardBytes; }
    const uint8_t* data() const { return storage_.data() + kGuardBytes; }
    std::size_t size() const { return size_; }
    uint8_t operator[](std::size_t i) const { return data()[i]; }
    uint32_t Word(std::size_t byteOffset) const;  // little-endian
    bool GuardsIntact() const;

private:
    std::size_t size_;
    std::vector<uint8_t> storage_;
};

}  // namespace qv::test

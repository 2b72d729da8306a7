// DIB headers and canary-filled buffers for the tests of the five DIB calls
// (host bitmaps and their handles: support/host_picture.h).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics.h"
#include "support/host_picture.h"

namespace qv::test {

// A BITMAPINFO with room for 256 colours: BI_RGB, one plane, the rest zero.
gfx::DibInfo MakeDibInfo(int32_t width, int32_t height, uint16_t bitsPerPixel);

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

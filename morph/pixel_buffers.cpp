#include "morph/pixel_buffers.h"

#include <cstddef>
#include <cstdlib>

namespace qv::morph {
namespace {

struct Buffer {
    uint32_t* pixels = nullptr;
    size_t capacity = 0;
};

struct ThreadBuffers {
    Buffer slots[3];
    ~ThreadBuffers()
    {
        for (Buffer& b : slots) std::free(b.pixels);
    }
};

thread_local ThreadBuffers tBuffers;

}  // namespace

uint32_t* AcquirePixels(BufferSlot slot, uint32_t count)
{
    Buffer& b = tBuffers.slots[static_cast<int>(slot)];
    // Reuse unless too small, or so much larger that keeping it would hold
    // on to memory that the host's current frames do not need.
    if (b.pixels && b.capacity >= count && b.capacity / 4 <= count) return b.pixels;
    std::free(b.pixels);
    b.pixels = static_cast<uint32_t*>(std::malloc(static_cast<size_t>(count) * sizeof(uint32_t)));
    b.capacity = b.pixels ? count : 0;
    return b.pixels;
}

void ReleaseThreadPixelBuffers()
{
    for (Buffer& b : tBuffers.slots) {
        std::free(b.pixels);
        b = Buffer{};
    }
}

}  // namespace qv::morph

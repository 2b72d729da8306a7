#include "morph/pixel_buffers.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "common/kernel_choice.h"

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

namespace qv::morph {
namespace {

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void FillWordsAvx2(uint32_t* words, uint32_t count, uint32_t value)
{
    const __m256i v = _mm256_set1_epi32(static_cast<int32_t>(value));
    uint32_t i = 0;
    for (; i + 32 <= count; i += 32) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 8), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 16), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words + i + 24), v);
    }
    std::fill(words + i, words + count, value);
}

// The wide stores follow the kernel choice, so QUORVANE_KERNEL=portable
// leaves no vector code in a frame.
bool HasAvx2()
{
    static const bool has = StartingKernel() != Kernel::Portable;
    return has;
}
#endif

}  // namespace

void FillWords(uint32_t* words, uint32_t count, uint32_t value)
{
#if defined(__x86_64__) || defined(__i386__)
    if (HasAvx2()) {
        FillWordsAvx2(words, count, value);
        return;
    }
#endif
    std::fill_n(words, count, value);
}

}  // namespace qv::morph

// The palette search on AVX2: the distances of all entries sixteen at a
// time, then the first met of the nearest (usually just one).
#include "quantize/colour_index.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

namespace qv::quantize {
namespace {

__attribute__((target("avx2"))) inline __m256i Load(const int16_t* p)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

__attribute__((target("avx2"))) int SearchAvx2(const ColourIndex& index, int b, int g, int r)
{
    constexpr int kLanes = 16;
    const __m256i vb = _mm256_set1_epi16(static_cast<int16_t>(b));
    const __m256i vg = _mm256_set1_epi16(static_cast<int16_t>(g));
    const __m256i vr = _mm256_set1_epi16(static_cast<int16_t>(r));
    const int vectors = (index.size + kLanes - 1) / kLanes;
    __m256i dist[kMaxEntries / kLanes];
    __m256i least = _mm256_set1_epi16(INT16_MAX);
    for (int v = 0; v < vectors; ++v) {
        dist[v] = _mm256_add_epi16(_mm256_add_epi16(_mm256_abs_epi16(_mm256_sub_epi16(Load(index.b + v * kLanes), vb)),
                                                     _mm256_abs_epi16(_mm256_sub_epi16(Load(index.g + v * kLanes), vg))),
                                   _mm256_abs_epi16(_mm256_sub_epi16(Load(index.r + v * kLanes), vr)));
        least = _mm256_min_epi16(least, dist[v]);
    }
    const __m128i half = _mm_min_epu16(_mm256_castsi256_si128(least), _mm256_extracti128_si256(least, 1));
    const __m256i m = _mm256_set1_epi16(static_cast<int16_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(half)) & 0xFFFF));
    uint64_t nearest[4] = {0, 0, 0, 0};
    for (int v = 0; v < vectors; ++v) {
        // Two mask bits a lane: keep the even ones.
        uint32_t bytes = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(dist[v], m)));
        uint64_t lanes = 0;
        for (int lane = 0; bytes != 0; ++lane, bytes >>= 2) lanes |= uint64_t{bytes & 1u} << lane;
        nearest[v / 4] |= lanes << (16 * (v % 4));
    }
    return FirstMet(index, nearest, index.start[g]);
}

}  // namespace qv::quantize

#endif

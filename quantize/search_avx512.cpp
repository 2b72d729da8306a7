// The palette search on AVX-512: the distances of all entries thirty-two at
// a time, then the first met of the nearest (usually just one).
#include "quantize/colour_index.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which the uninitialised-use warnings report.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

namespace qv::quantize {

__attribute__((target("avx512f,avx512bw"))) int SearchAvx512(const ColourIndex& index, int b, int g, int r)
{
    constexpr int kLanes = 32;
    const __m512i vb = _mm512_set1_epi16(static_cast<int16_t>(b));
    const __m512i vg = _mm512_set1_epi16(static_cast<int16_t>(g));
    const __m512i vr = _mm512_set1_epi16(static_cast<int16_t>(r));
    const int vectors = (index.size + kLanes - 1) / kLanes;
    __m512i dist[kMaxEntries / kLanes];
    __m512i least = _mm512_set1_epi16(INT16_MAX);
    for (int v = 0; v < vectors; ++v) {
        dist[v] = _mm512_add_epi16(_mm512_add_epi16(_mm512_abs_epi16(_mm512_sub_epi16(_mm512_load_si512(index.b + v * kLanes), vb)),
                                                    _mm512_abs_epi16(_mm512_sub_epi16(_mm512_load_si512(index.g + v * kLanes), vg))),
                                   _mm512_abs_epi16(_mm512_sub_epi16(_mm512_load_si512(index.r + v * kLanes), vr)));
        least = _mm512_min_epi16(least, dist[v]);
    }
    const __m256i quarter = _mm256_min_epu16(_mm512_castsi512_si256(least), _mm512_extracti64x4_epi64(least, 1));
    const __m128i eighth = _mm_min_epu16(_mm256_castsi256_si128(quarter), _mm256_extracti128_si256(quarter, 1));
    const __m512i m = _mm512_set1_epi16(static_cast<int16_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(eighth)) & 0xFFFF));
    uint64_t nearest[4] = {0, 0, 0, 0};
    for (int v = 0; v < vectors; ++v)
        nearest[v / 2] |= uint64_t{_mm512_cmpeq_epi16_mask(dist[v], m)} << (32 * (v % 2));
    return FirstMet(index, nearest, index.start[g]);
}

}  // namespace qv::quantize

#endif

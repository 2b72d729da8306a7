// The palette search on AVX2: sixteen entries a vector (quantize/search_simd.inc).
#include "quantize/colour_index.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

#define QV_SIMD __attribute__((target("avx2"), always_inline)) inline

namespace qv::quantize {
namespace {

constexpr int kLanes = 16;
using VS = __m256i;

QV_SIMD VS SplatS(int16_t v) { return _mm256_set1_epi16(v); }
QV_SIMD VS LoadS(const int16_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }
QV_SIMD VS AddS(VS a, VS b) { return _mm256_add_epi16(a, b); }
QV_SIMD VS SubS(VS a, VS b) { return _mm256_sub_epi16(a, b); }
QV_SIMD VS AbsS(VS a) { return _mm256_abs_epi16(a); }
QV_SIMD VS MinS(VS a, VS b) { return _mm256_min_epi16(a, b); }
QV_SIMD uint32_t LeastLane(VS v)
{
    const __m128i half = _mm_min_epu16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(half))) & 0xFFFFu;
}
QV_SIMD uint64_t EqualLanes(VS a, VS b)
{
    // Two mask bits a lane: keep the even ones.
    uint32_t bytes = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi16(a, b)));
    uint64_t lanes = 0;
    for (int lane = 0; bytes != 0; ++lane, bytes >>= 2) lanes |= uint64_t{bytes & 1u} << lane;
    return lanes;
}

#include "quantize/search_simd.inc"

}  // namespace

__attribute__((target("avx2"))) int SearchAvx2(const ColourIndex& index, int b, int g, int r)
{
    return SearchSimd(index, b, g, r);
}

}  // namespace qv::quantize

#endif

// The palette search on AVX-512: thirty-two entries a vector
// (quantize/search_simd.inc).
#include "quantize/colour_index.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>

// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which the uninitialised-use warnings report.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#define QV_SIMD __attribute__((target("avx512f,avx512bw"), always_inline)) inline

namespace qv::quantize {
namespace {

constexpr int kLanes = 32;
using VS = __m512i;

QV_SIMD VS SplatS(int16_t v) { return _mm512_set1_epi16(v); }
QV_SIMD VS LoadS(const int16_t* p) { return _mm512_load_si512(p); }
QV_SIMD VS AddS(VS a, VS b) { return _mm512_add_epi16(a, b); }
QV_SIMD VS SubS(VS a, VS b) { return _mm512_sub_epi16(a, b); }
QV_SIMD VS AbsS(VS a) { return _mm512_abs_epi16(a); }
QV_SIMD VS MinS(VS a, VS b) { return _mm512_min_epi16(a, b); }
QV_SIMD uint32_t LeastLane(VS v)
{
    const __m256i quarter = _mm256_min_epu16(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
    const __m128i eighth = _mm_min_epu16(_mm256_castsi256_si128(quarter), _mm256_extracti128_si256(quarter, 1));
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_minpos_epu16(eighth))) & 0xFFFFu;
}
QV_SIMD uint64_t EqualLanes(VS a, VS b) { return uint64_t{_mm512_cmpeq_epi16_mask(a, b)}; }

#include "quantize/search_simd.inc"

}  // namespace

__attribute__((target("avx512f,avx512bw"))) int SearchAvx512(const ColourIndex& index, int b, int g, int r)
{
    return SearchSimd(index, b, g, r);
}

}  // namespace qv::quantize

#endif

// The span kernel on AVX2 (with FMA): four positions at a time.
#include "morph/scan.h"
#include "morph/span_kernel.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

#define QV_SIMD __attribute__((target("avx2,fma"), always_inline)) inline

namespace qv::morph {
namespace {

constexpr int kLanes = 4;
using VD = __m256d;
using VF = __m128;
using VI = __m128i;

QV_SIMD VD Double(VI v) { return _mm256_cvtepi32_pd(v); }
QV_SIMD VD Double(VF v) { return _mm256_cvtps_pd(v); }
QV_SIMD VF Float(VD v) { return _mm256_cvtpd_ps(v); }
QV_SIMD VI Trunc(VD v) { return _mm256_cvttpd_epi32(v); }
QV_SIMD VI TruncF(VF v) { return _mm_cvttps_epi32(v); }
QV_SIMD VF FloatOf(VI v) { return _mm_cvtepi32_ps(v); }
QV_SIMD VF SubF(VF a, VF b) { return _mm_sub_ps(a, b); }
QV_SIMD VF MulF(VF a, VF b) { return _mm_mul_ps(a, b); }
QV_SIMD VD Splat(double v) { return _mm256_set1_pd(v); }
QV_SIMD VI Splat32(uint32_t v) { return _mm_set1_epi32(static_cast<int32_t>(v)); }
QV_SIMD VD AddD(VD a, VD b) { return _mm256_add_pd(a, b); }
QV_SIMD VD SubD(VD a, VD b) { return _mm256_sub_pd(a, b); }
QV_SIMD VD MulD(VD a, VD b) { return _mm256_mul_pd(a, b); }
QV_SIMD VD MulAddD(VD a, VD b, VD c) { return _mm256_fmadd_pd(a, b, c); }
QV_SIMD VI AddI(VI a, VI b) { return _mm_add_epi32(a, b); }
QV_SIMD VI SubI(VI a, VI b) { return _mm_sub_epi32(a, b); }
QV_SIMD VI MulI(VI a, VI b) { return _mm_mullo_epi32(a, b); }
QV_SIMD VI AndI(VI a, VI b) { return _mm_and_si128(a, b); }
QV_SIMD VI OrI(VI a, VI b) { return _mm_or_si128(a, b); }
QV_SIMD VI XorI(VI a, VI b) { return _mm_xor_si128(a, b); }
QV_SIMD VI EqI(VI a, VI b) { return _mm_cmpeq_epi32(a, b); }
QV_SIMD VI LessI(VI a, VI b) { return _mm_cmplt_epi32(a, b); }
QV_SIMD VI SelectI(VI a, VI b, VI mask) { return _mm_blendv_epi8(a, b, mask); }
template <int n>
QV_SIMD VI ShiftLeftI(VI a) { return _mm_slli_epi32(a, n); }
template <int n>
QV_SIMD VI ShiftRightI(VI a) { return _mm_srli_epi32(a, n); }
QV_SIMD VI ZeroI() { return _mm_setzero_si128(); }
QV_SIMD VI LaneOffsets(int32_t step) { return _mm_mullo_epi32(_mm_setr_epi32(0, 1, 2, 3), _mm_set1_epi32(step)); }
QV_SIMD bool AllSet(VI mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)) == 0xF; }
// Four plain loads beat the gather instruction on the processors measured.
QV_SIMD VI Gather(const uint32_t* base, VI index)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<VI*>(i), index);
    return _mm_setr_epi32(static_cast<int>(base[i[0]]), static_cast<int>(base[i[1]]), static_cast<int>(base[i[2]]),
                          static_cast<int>(base[i[3]]));
}
QV_SIMD void GatherPairs(const uint32_t* base, VI index, VI& left, VI& right)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128(reinterpret_cast<VI*>(i), index);
    long long p[4];
    for (int k = 0; k < 4; ++k) std::memcpy(&p[k], base + i[k], 8);
    const __m256i pairs = _mm256_setr_epi64x(p[0], p[1], p[2], p[3]);
    left = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7)));
    right = _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(pairs, _mm256_setr_epi32(1, 3, 5, 7, 0, 2, 4, 6)));
}
QV_SIMD void StoreI(uint32_t* to, VI v) { _mm_store_si128(reinterpret_cast<VI*>(to), v); }
QV_SIMD VI LoadI(const uint32_t* from) { return _mm_load_si128(reinterpret_cast<const VI*>(from)); }
QV_SIMD void StoreUnaligned(uint32_t* to, VI v) { _mm_storeu_si128(reinterpret_cast<VI*>(to), v); }
QV_SIMD float Lane(VF v, int index)
{
    alignas(32) float lanes[4];
    _mm_store_ps(lanes, v);
    return lanes[index];
}

QV_SIMD uint32_t FirstLane(VI v) { return static_cast<uint32_t>(_mm_cvtsi128_si32(v)); }
QV_SIMD VI Bits(VF v) { return _mm_castps_si128(v); }
QV_SIMD VI ShiftRightVarI(VI a, VI counts) { return _mm_srlv_epi32(a, counts); }
QV_SIMD uint32_t LastLane(VI v) { return static_cast<uint32_t>(_mm_extract_epi32(v, 3)); }
QV_SIMD void StoreFour(uint32_t* to, uint32_t word)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_set1_epi32(static_cast<int32_t>(word)));
}
QV_SIMD void StoreFirst(uint32_t* to, VI v, int n)
{
    const VI mask = _mm_cmpgt_epi32(_mm_set1_epi32(n), _mm_setr_epi32(0, 1, 2, 3));
    _mm_maskstore_epi32(reinterpret_cast<int*>(to), mask, v);
}
using VW = __m256i;
QV_SIMD VW SplatW(uint16_t v) { return _mm256_set1_epi16(static_cast<int16_t>(v)); }
QV_SIMD VI ScaleBytes(VI words, VW high, VW low)
{
    const __m256i c = _mm256_cvtepu8_epi16(words);
    const __m256i upperHigh = _mm256_mulhi_epu16(c, high);
    const __m256i upperLow = _mm256_mullo_epi16(c, high);
    const __m256i lowerHigh = _mm256_mulhi_epu16(c, low);
    // The low halves carry where the wrapping sum differs from the saturating one.
    const __m256i noCarry =
        _mm256_cmpeq_epi16(_mm256_add_epi16(upperLow, lowerHigh), _mm256_adds_epu16(upperLow, lowerHigh));
    const __m256i scaled = _mm256_add_epi16(upperHigh, _mm256_add_epi16(noCarry, _mm256_set1_epi16(1)));
    return _mm_packus_epi16(_mm256_castsi256_si128(scaled), _mm256_extracti128_si256(scaled, 1));
}
QV_SIMD VI AddBytes(VI a, VI b) { return _mm_add_epi8(a, b); }

#include "morph/span_kernel_simd.inc"

}  // namespace

__attribute__((target("avx2,fma"))) void RenderSpanAvx2(const TriangleJob& job, const RowSpan* rows, int count)
{
    RenderSpanSimd(job, rows, count);
}

}  // namespace qv::morph

#else

namespace qv::morph {
void RenderSpanAvx2(const TriangleJob& job, const RowSpan* rows, int count) { RenderSpanPortable(job, rows, count); }
}  // namespace qv::morph

#endif

// The span kernel on AVX-512: eight positions at a time (doubles in 512-bit
// registers, 32-bit integers in 256-bit ones). Needs AVX-512 F, DQ, BW and VL.
#include "morph/scan.h"
#include "morph/span_kernel.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstring>

// GCC 12's AVX-512 conversion intrinsics start from an "undefined" register
// that the optimiser reports as maybe used uninitialized; it never is.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#define QV_SIMD __attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl"), always_inline)) inline

namespace qv::morph {
namespace {

constexpr int kLanes = 8;
using VD = __m512d;
using VF = __m256;
using VI = __m256i;

QV_SIMD VD Double(VI v) { return _mm512_cvtepi32_pd(v); }
QV_SIMD VD Double(VF v) { return _mm512_cvtps_pd(v); }
QV_SIMD VF Float(VD v) { return _mm512_cvtpd_ps(v); }
QV_SIMD VI Trunc(VD v) { return _mm512_cvttpd_epi32(v); }
QV_SIMD VI TruncF(VF v) { return _mm256_cvttps_epi32(v); }
QV_SIMD VF FloatOf(VI v) { return _mm256_cvtepi32_ps(v); }
QV_SIMD VF SubF(VF a, VF b) { return _mm256_sub_ps(a, b); }
QV_SIMD VF MulF(VF a, VF b) { return _mm256_mul_ps(a, b); }
QV_SIMD VD Splat(double v) { return _mm512_set1_pd(v); }
QV_SIMD VI Splat32(uint32_t v) { return _mm256_set1_epi32(static_cast<int32_t>(v)); }
QV_SIMD VD AddD(VD a, VD b) { return _mm512_add_pd(a, b); }
QV_SIMD VD SubD(VD a, VD b) { return _mm512_sub_pd(a, b); }
QV_SIMD VD MulD(VD a, VD b) { return _mm512_mul_pd(a, b); }
QV_SIMD VD MulAddD(VD a, VD b, VD c) { return _mm512_fmadd_pd(a, b, c); }
QV_SIMD VI AddI(VI a, VI b) { return _mm256_add_epi32(a, b); }
QV_SIMD VI SubI(VI a, VI b) { return _mm256_sub_epi32(a, b); }
QV_SIMD VI MulI(VI a, VI b) { return _mm256_mullo_epi32(a, b); }
QV_SIMD VI AndI(VI a, VI b) { return _mm256_and_si256(a, b); }
QV_SIMD VI OrI(VI a, VI b) { return _mm256_or_si256(a, b); }
QV_SIMD VI XorI(VI a, VI b) { return _mm256_xor_si256(a, b); }
QV_SIMD VI EqI(VI a, VI b) { return _mm256_cmpeq_epi32(a, b); }
QV_SIMD VI LessI(VI a, VI b) { return _mm256_cmpgt_epi32(b, a); }
QV_SIMD VI SelectI(VI a, VI b, VI mask) { return _mm256_blendv_epi8(a, b, mask); }
template <int n>
QV_SIMD VI ShiftLeftI(VI a) { return _mm256_slli_epi32(a, n); }
template <int n>
QV_SIMD VI ShiftRightI(VI a) { return _mm256_srli_epi32(a, n); }
QV_SIMD VI ZeroI() { return _mm256_setzero_si256(); }
QV_SIMD VI LaneOffsets(int32_t step)
{
    return _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step));
}
QV_SIMD bool AllSet(VI mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(mask)) == 0xFF; }
// Eight plain loads beat the gather instruction on the processors measured.
QV_SIMD VI Gather(const uint32_t* base, VI index)
{
#if !defined(__x86_64__)
    // 32-bit builds have no 64-bit general registers: through memory.
    alignas(32) uint32_t i[8];
    _mm256_store_si256(reinterpret_cast<VI*>(i), index);
    return _mm256_setr_epi32(static_cast<int>(base[i[0]]), static_cast<int>(base[i[1]]), static_cast<int>(base[i[2]]),
                             static_cast<int>(base[i[3]]), static_cast<int>(base[i[4]]), static_cast<int>(base[i[5]]),
                             static_cast<int>(base[i[6]]), static_cast<int>(base[i[7]]));
#else
    // Indices leave the vector register two at a time, as 64-bit halves.
    const __m128i low = _mm256_castsi256_si128(index), high = _mm256_extracti128_si256(index, 1);
    const auto i01 = static_cast<uint64_t>(_mm_cvtsi128_si64(low)), i23 = static_cast<uint64_t>(_mm_extract_epi64(low, 1));
    const auto i45 = static_cast<uint64_t>(_mm_cvtsi128_si64(high)), i67 = static_cast<uint64_t>(_mm_extract_epi64(high, 1));
    const auto w = [base](uint64_t pair, int half) {
        return static_cast<int>(base[static_cast<uint32_t>(pair >> (32 * half))]);
    };
    return _mm256_setr_epi32(w(i01, 0), w(i01, 1), w(i23, 0), w(i23, 1), w(i45, 0), w(i45, 1), w(i67, 0), w(i67, 1));
#endif
}
QV_SIMD void GatherPairs(const uint32_t* base, VI index, VI& left, VI& right)
{
    alignas(32) uint32_t i[8];
    _mm256_store_si256(reinterpret_cast<VI*>(i), index);
    long long p[8];
    for (int k = 0; k < 8; ++k) std::memcpy(&p[k], base + i[k], 8);
    const __m512i pairs = _mm512_setr_epi64(p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    left = _mm512_cvtepi64_epi32(pairs);
    right = _mm512_cvtepi64_epi32(_mm512_srli_epi64(pairs, 32));
}
QV_SIMD void StoreI(uint32_t* to, VI v) { _mm256_store_si256(reinterpret_cast<VI*>(to), v); }
QV_SIMD VI LoadI(const uint32_t* from) { return _mm256_load_si256(reinterpret_cast<const VI*>(from)); }
QV_SIMD void StoreUnaligned(uint32_t* to, VI v) { _mm256_storeu_si256(reinterpret_cast<VI*>(to), v); }
QV_SIMD float Lane(VF v, int index)
{
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, v);
    return lanes[index];
}

QV_SIMD uint32_t FirstLane(VI v) { return static_cast<uint32_t>(_mm256_cvtsi256_si32(v)); }
QV_SIMD VI Bits(VF v) { return _mm256_castps_si256(v); }
QV_SIMD VI ShiftRightVarI(VI a, VI counts) { return _mm256_srlv_epi32(a, counts); }
QV_SIMD uint32_t LastLane(VI v) { return static_cast<uint32_t>(_mm256_extract_epi32(v, 7)); }
QV_SIMD void StoreFour(uint32_t* to, uint32_t word)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_set1_epi32(static_cast<int32_t>(word)));
}
QV_SIMD void StoreFirst(uint32_t* to, VI v, int n)
{
    _mm256_mask_storeu_epi32(to, static_cast<__mmask8>((1u << n) - 1), v);
}
using VW = __m512i;
QV_SIMD VW SplatW(uint16_t v) { return _mm512_set1_epi16(static_cast<int16_t>(v)); }
QV_SIMD VI ScaleBytes(VI words, VW high, VW low)
{
    const __m512i c = _mm512_cvtepu8_epi16(words);
    const __m512i upperHigh = _mm512_mulhi_epu16(c, high);
    const __m512i upperLow = _mm512_mullo_epi16(c, high);
    const __m512i sum = _mm512_add_epi16(upperLow, _mm512_mulhi_epu16(c, low));
    const __mmask32 carry = _mm512_cmplt_epu16_mask(sum, upperLow);
    return _mm512_cvtepi16_epi8(_mm512_mask_add_epi16(upperHigh, carry, upperHigh, _mm512_set1_epi16(1)));
}
QV_SIMD VI AddBytes(VI a, VI b) { return _mm256_add_epi8(a, b); }

#include "morph/span_kernel_simd.inc"

}  // namespace

__attribute__((target("avx2,avx512f,avx512dq,avx512bw,avx512vl"))) void RenderSpanAvx512(const TriangleJob& job, const RowSpan* rows, int count)
{
    RenderSpanSimd(job, rows, count);
}

}  // namespace qv::morph

#else

namespace qv::morph {
void RenderSpanAvx512(const TriangleJob& job, const RowSpan* rows, int count) { RenderSpanPortable(job, rows, count); }
}  // namespace qv::morph

#endif

// The network search and neighbourhood update sixteen neurons at a time.
// Each lane keeps the first of its own best neurons; the lanes are combined
// by lowest value, then lowest position among the lanes holding it, which
// is the sequential first best.
#include <climits>

#include "quantize/network.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// GCC 12's AVX-512 headers start some intrinsics from a deliberately
// undefined vector, which -Wmaybe-uninitialized reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#define QV_AVX512 __attribute__((target("avx512f")))

namespace qv::quantize {
namespace {

constexpr int kLanes = 16;

QV_AVX512 inline __m512i Load(const int32_t* p) { return _mm512_load_si512(p); }
QV_AVX512 inline void Store(int32_t* p, __m512i v) { _mm512_store_si512(p, v); }

// a * (p - c) / 2^18 subtracted from p, the division truncating towards
// zero as C's does.
QV_AVX512 inline __m512i MoveTowards(__m512i p, __m512i c, __m512i a)
{
    const __m512i x = _mm512_mullo_epi32(a, _mm512_sub_epi32(p, c));
    const __m512i roundUp = _mm512_and_si512(_mm512_srai_epi32(x, 31), _mm512_set1_epi32((1 << kAlphaRadBiasShift) - 1));
    return _mm512_sub_epi32(p, _mm512_srai_epi32(_mm512_add_epi32(x, roundUp), kAlphaRadBiasShift));
}

QV_AVX512 inline int FirstOfLowest(__m512i value, __m512i position)
{
    const __mmask16 lowest = _mm512_cmpeq_epi32_mask(value, _mm512_set1_epi32(_mm512_reduce_min_epi32(value)));
    return _mm512_mask_reduce_min_epi32(lowest, position);
}

}  // namespace

QV_AVX512 int ContestAvx512(Network& net, int b, int g, int r)
{
    const __m512i vb = _mm512_set1_epi32(b), vg = _mm512_set1_epi32(g), vr = _mm512_set1_epi32(r);
    __m512i bestd = _mm512_set1_epi32(INT_MAX), bestbiasd = bestd;
    __m512i bestpos = _mm512_setzero_si512(), bestbiaspos = bestpos;
    __m512i position = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i step = _mm512_set1_epi32(kLanes);
    const int end = (net.size + kLanes - 1) & ~(kLanes - 1);
    for (int i = 0; i < end; i += kLanes) {
        const __m512i dist = _mm512_add_epi32(
            _mm512_add_epi32(_mm512_abs_epi32(_mm512_sub_epi32(Load(net.b + i), vb)),
                             _mm512_abs_epi32(_mm512_sub_epi32(Load(net.g + i), vg))),
            _mm512_abs_epi32(_mm512_sub_epi32(Load(net.r + i), vr)));
        const __mmask16 closer = _mm512_cmplt_epi32_mask(dist, bestd);
        bestd = _mm512_mask_mov_epi32(bestd, closer, dist);
        bestpos = _mm512_mask_mov_epi32(bestpos, closer, position);

        const __m512i bias = Load(net.bias + i);
        const __m512i biasdist = _mm512_sub_epi32(dist, _mm512_srai_epi32(bias, kIntBiasShift - kNetBiasShift));
        const __mmask16 closerBiased = _mm512_cmplt_epi32_mask(biasdist, bestbiasd);
        bestbiasd = _mm512_mask_mov_epi32(bestbiasd, closerBiased, biasdist);
        bestbiaspos = _mm512_mask_mov_epi32(bestbiaspos, closerBiased, position);

        const __m512i freq = Load(net.freq + i);
        const __m512i betafreq = _mm512_srai_epi32(freq, kBetaShift);
        Store(net.freq + i, _mm512_sub_epi32(freq, betafreq));
        Store(net.bias + i, _mm512_add_epi32(bias, _mm512_slli_epi32(betafreq, kGammaShift)));
        position = _mm512_add_epi32(position, step);
    }
    const int nearest = FirstOfLowest(bestd, bestpos);
    const int biased = FirstOfLowest(bestbiasd, bestbiaspos);
    net.freq[nearest] += kBeta;
    net.bias[nearest] -= kBetaGamma;
    return biased;
}

QV_AVX512 void AlterNeighboursAvx512(Network& net, int rad, int i, int b, int g, int r)
{
    const int lo = i - rad + 1 < 0 ? 0 : i - rad + 1;
    const int hi = i + rad - 1 >= net.size ? net.size - 1 : i + rad - 1;
    const __m512i vb = _mm512_set1_epi32(b), vg = _mm512_set1_epi32(g), vr = _mm512_set1_epi32(r);
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    // Lanes before lo lie at rad or more from i, where the weight is 0; lanes
    // past hi may be spare neurons and are masked.
    for (int j = lo & ~(kLanes - 1); j <= hi; j += kLanes) {
        const __mmask16 inside = _mm512_cmple_epi32_mask(_mm512_add_epi32(lane, _mm512_set1_epi32(j)), _mm512_set1_epi32(hi));
        const __m512i a = _mm512_maskz_loadu_epi32(inside, net.weight + kWeightCentre - i + j);
        Store(net.b + j, MoveTowards(Load(net.b + j), vb, a));
        Store(net.g + j, MoveTowards(Load(net.g + j), vg, a));
        Store(net.r + j, MoveTowards(Load(net.r + j), vr, a));
    }
}

}  // namespace qv::quantize

#endif

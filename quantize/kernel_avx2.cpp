// The network search and neighbourhood update eight neurons at a time. Each
// lane keeps the first of its own best neurons, and the lanes are combined
// by lowest value then lowest position, which is the sequential first best.
#include <climits>

#include "quantize/network.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#define QV_AVX2 __attribute__((target("avx2")))

namespace qv::quantize {
namespace {

constexpr int kLanes = 8;

QV_AVX2 inline __m256i Load(const int32_t* p) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(p)); }
QV_AVX2 inline void Store(int32_t* p, __m256i v) { _mm256_store_si256(reinterpret_cast<__m256i*>(p), v); }

// a * (p - c) / 2^18 subtracted from p, the division truncating towards
// zero as C's does.
QV_AVX2 inline __m256i MoveTowards(__m256i p, __m256i c, __m256i a)
{
    const __m256i x = _mm256_mullo_epi32(a, _mm256_sub_epi32(p, c));
    const __m256i roundUp = _mm256_and_si256(_mm256_srai_epi32(x, 31), _mm256_set1_epi32((1 << kAlphaRadBiasShift) - 1));
    return _mm256_sub_epi32(p, _mm256_srai_epi32(_mm256_add_epi32(x, roundUp), kAlphaRadBiasShift));
}

}  // namespace

QV_AVX2 int ContestAvx2(Network& net, int b, int g, int r)
{
    const __m256i vb = _mm256_set1_epi32(b), vg = _mm256_set1_epi32(g), vr = _mm256_set1_epi32(r);
    __m256i bestd = _mm256_set1_epi32(INT_MAX), bestbiasd = bestd;
    __m256i bestpos = _mm256_setzero_si256(), bestbiaspos = bestpos;
    __m256i position = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i step = _mm256_set1_epi32(kLanes);
    const int end = (net.size + kLanes - 1) & ~(kLanes - 1);
    for (int i = 0; i < end; i += kLanes) {
        const __m256i dist = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_abs_epi32(_mm256_sub_epi32(Load(net.b + i), vb)),
                             _mm256_abs_epi32(_mm256_sub_epi32(Load(net.g + i), vg))),
            _mm256_abs_epi32(_mm256_sub_epi32(Load(net.r + i), vr)));
        const __m256i closer = _mm256_cmpgt_epi32(bestd, dist);
        bestd = _mm256_min_epi32(bestd, dist);
        bestpos = _mm256_blendv_epi8(bestpos, position, closer);

        const __m256i bias = Load(net.bias + i);
        const __m256i biasdist = _mm256_sub_epi32(dist, _mm256_srai_epi32(bias, kIntBiasShift - kNetBiasShift));
        const __m256i closerBiased = _mm256_cmpgt_epi32(bestbiasd, biasdist);
        bestbiasd = _mm256_min_epi32(bestbiasd, biasdist);
        bestbiaspos = _mm256_blendv_epi8(bestbiaspos, position, closerBiased);

        const __m256i freq = Load(net.freq + i);
        const __m256i betafreq = _mm256_srai_epi32(freq, kBetaShift);
        Store(net.freq + i, _mm256_sub_epi32(freq, betafreq));
        Store(net.bias + i, _mm256_add_epi32(bias, _mm256_slli_epi32(betafreq, kGammaShift)));
        position = _mm256_add_epi32(position, step);
    }
    alignas(32) int32_t value[kLanes], pos[kLanes];
    Store(value, bestd);
    Store(pos, bestpos);
    const int nearest = pos[FirstLowest(value, pos, kLanes)];
    Store(value, bestbiasd);
    Store(pos, bestbiaspos);
    const int biased = pos[FirstLowest(value, pos, kLanes)];
    net.freq[nearest] += kBeta;
    net.bias[nearest] -= kBetaGamma;
    return biased;
}

QV_AVX2 void AlterNeighboursAvx2(Network& net, int rad, int i, int b, int g, int r)
{
    const int lo = i - rad + 1 < 0 ? 0 : i - rad + 1;
    const int hi = i + rad - 1 >= net.size ? net.size - 1 : i + rad - 1;
    const __m256i vb = _mm256_set1_epi32(b), vg = _mm256_set1_epi32(g), vr = _mm256_set1_epi32(r);
    const __m256i last = _mm256_set1_epi32(hi);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    // Lanes before lo lie at rad or more from i, where the weight is 0; lanes
    // past hi may be spare neurons and are masked.
    for (int j = lo & ~(kLanes - 1); j <= hi; j += kLanes) {
        const __m256i inside = _mm256_cmpgt_epi32(_mm256_add_epi32(last, _mm256_set1_epi32(1)),
                                                  _mm256_add_epi32(lane, _mm256_set1_epi32(j)));
        const __m256i a = _mm256_and_si256(
            inside, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(net.weight + kWeightCentre - i + j)));
        Store(net.b + j, MoveTowards(Load(net.b + j), vb, a));
        Store(net.g + j, MoveTowards(Load(net.g + j), vg, a));
        Store(net.r + j, MoveTowards(Load(net.r + j), vr, a));
    }
}

}  // namespace qv::quantize

#endif

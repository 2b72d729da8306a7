// Whole-number forms of the cross-dissolve products for one morph weight.
//
// A channel c (0..255) times a factor g in [0, 1), truncated, equals
// (c * m) >> 32 for the 32-bit fixed-point factor m = ceil(g * 2^32)
// whenever no whole number lies between c * g and c * m / 2^32; for a factor
// 1 - t or t with t a float of at least 2^-9 that always holds, as both have
// at most 32 fraction bits. It is checked against the double-precision
// product for all 256 channel values all the same; a weight whose factors
// fail the check (or lie outside [0, 1), or are not numbers) keeps the
// double-precision path. The product is formed from the 16-bit halves of m,
// so vector kernels scale 16 channels per 256-bit operation.
#pragma once

#include <cstdint>

namespace qv::morph {

struct DissolveFactors {
    uint32_t weightBits = 0;  // the morph weight these factors belong to, bit for bit
    bool known = false;       // false until computed once
    bool exact = false;       // both factors reproduce the double-precision products
    uint16_t sourceHigh = 0, sourceLow = 0;  // for 1 - t, the source's share
    uint16_t destHigh = 0, destLow = 0;      // for t, the destination's share
};

// Finds the fixed-point form of `factor`; false when it is not exact for
// every channel value.
bool ByteScaleFactor(double factor, uint16_t& high, uint16_t& low);

// (channel * m) >> 32 for m = high * 2^16 + low, the way the vector lanes
// form it: the high half of channel * high, plus the carry out of the low
// half of channel * high added to the high half of channel * low.
inline uint32_t ByteScale(uint32_t channel, uint16_t high, uint16_t low)
{
    const uint32_t upper = channel * high, lower = channel * low;
    return (upper >> 16) + (((upper & 0xFFFFu) + (lower >> 16)) >> 16);
}

// The factors for weight t (the destination's share), recomputed only when
// t differs from the weight `cache` holds.
const DissolveFactors& DissolveFactorsFor(DissolveFactors& cache, float t);

}  // namespace qv::morph

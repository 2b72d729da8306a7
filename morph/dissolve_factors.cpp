#include "morph/dissolve_factors.h"

#include <cmath>
#include <cstring>

#include "morph/numerics.h"

namespace qv::morph {

bool ByteScaleFactor(double factor, uint16_t& high, uint16_t& low)
{
    high = 0;
    low = 0;
    if (!(factor >= 0.0 && factor < 1.0)) return false;
    // m = ceil(factor * 2^32) in two 16-bit halves; scaling by powers of two
    // and taking off the whole part are exact.
    const double scaled = factor * 65536.0;
    int32_t h = TruncToInt32(scaled);
    int32_t l = TruncToInt32(std::ceil((scaled - static_cast<double>(h)) * 65536.0));
    if (l == 65536) {
        ++h;
        l = 0;
    }
    if (h > 0xFFFF) return false;
    const auto hh = static_cast<uint16_t>(h), ll = static_cast<uint16_t>(l);
    for (uint32_t c = 0; c < 256; ++c) {
        const auto expected = static_cast<uint32_t>(TruncToInt32(static_cast<double>(c) * factor));
        if (ByteScale(c, hh, ll) != expected) return false;
    }
    high = hh;
    low = ll;
    return true;
}

const DissolveFactors& DissolveFactorsFor(DissolveFactors& cache, float t)
{
    uint32_t bits;
    std::memcpy(&bits, &t, sizeof bits);
    if (cache.known && cache.weightBits == bits) return cache;
    cache.known = true;
    cache.weightBits = bits;
    // The same factors as the double-precision dissolve: 1 - t formed in
    // double precision for the source, t itself for the destination.
    const bool source = ByteScaleFactor(1.0 - static_cast<double>(t), cache.sourceHigh, cache.sourceLow);
    const bool dest = ByteScaleFactor(static_cast<double>(t), cache.destHigh, cache.destLow);
    cache.exact = source && dest;
    return cache;
}

}  // namespace qv::morph

// The fixed-point dissolve factors: which weights get them, their exact
// values, and that they scale every channel value as the true product does.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "morph/dissolve_factors.h"
#include "morph/draw_morph.h"

namespace {

using qv::morph::ByteScale;
using qv::morph::DissolveFactors;
using qv::morph::DissolveFactorsFor;

// floor(c * numerator / 2^shift) in whole numbers: the exact product,
// worked out without floating point.
uint32_t ExactScaled(uint32_t c, uint64_t numerator, int shift) { return static_cast<uint32_t>((c * numerator) >> shift); }

TEST(DissolveFactors, EveryInBetweenFrameWeightScalesLikeTheExactProduct)
{
    for (int16_t n = 2; n <= 300; ++n) {
        for (int16_t k = 1; k < n; ++k) {
            const float t = qv::morph::DefaultMorphWeight(k, n);
            DissolveFactors cache;
            const DissolveFactors& f = DissolveFactorsFor(cache, t);
            ASSERT_TRUE(f.exact) << k << "/" << n;
            // t = mantissa / 2^shift with a 24-bit mantissa; 1 - t has the same denominator.
            int exponent = 0;
            const double fraction = std::frexp(static_cast<double>(t), &exponent);
            const auto mantissa = static_cast<uint64_t>(std::ldexp(fraction, 24));
            const int shift = 24 - exponent;
            ASSERT_LE(shift, 40);
            for (uint32_t c = 0; c < 256; ++c) {
                ASSERT_EQ(ByteScale(c, f.destHigh, f.destLow), ExactScaled(c, mantissa, shift))
                    << k << "/" << n << " channel " << c;
                ASSERT_EQ(ByteScale(c, f.sourceHigh, f.sourceLow), ExactScaled(c, (uint64_t{1} << shift) - mantissa, shift))
                    << k << "/" << n << " channel " << c;
            }
        }
    }
}

TEST(DissolveFactors, FactorsAreTheCeilingOfTheWeightIn32FractionBits)
{
    DissolveFactors cache;
    const DissolveFactors& quarter = DissolveFactorsFor(cache, 0.25f);
    ASSERT_TRUE(quarter.exact);
    EXPECT_EQ(quarter.destHigh, 0x4000);
    EXPECT_EQ(quarter.destLow, 0);
    EXPECT_EQ(quarter.sourceHigh, 0xC000);
    EXPECT_EQ(quarter.sourceLow, 0);

    // 0.4f is 13421773 / 2^25: times 2^32 that is 0x66666680, and 1 - 0.4f gives 0x99999980.
    const DissolveFactors& twoFifths = DissolveFactorsFor(cache, 0.4f);
    ASSERT_TRUE(twoFifths.exact);
    EXPECT_EQ(twoFifths.destHigh, 0x6666);
    EXPECT_EQ(twoFifths.destLow, 0x6680);
    EXPECT_EQ(twoFifths.sourceHigh, 0x9999);
    EXPECT_EQ(twoFifths.sourceLow, 0x9980);
    // 255 * 0.4f is just above 102, 255 * (1 - 0.4f) just below 153.
    EXPECT_EQ(ByteScale(255, twoFifths.destHigh, twoFifths.destLow), 102u);
    EXPECT_EQ(ByteScale(255, twoFifths.sourceHigh, twoFifths.sourceLow), 152u);
    EXPECT_EQ(ByteScale(5, twoFifths.sourceHigh, twoFifths.sourceLow), 2u);
}

TEST(DissolveFactors, WeightsWithoutAFactorBelowOneOnEachSideKeepTheDoublePath)
{
    const float inf = std::numeric_limits<float>::infinity();
    // 0 and 1 make one factor exactly 1; 1e-12 makes the source's factor round up to 1.
    for (float t : {0.0f, 1.0f, -0.25f, 1.5f, 7.25f, -inf, inf, std::numeric_limits<float>::quiet_NaN(), 1e-12f}) {
        DissolveFactors cache;
        EXPECT_FALSE(DissolveFactorsFor(cache, t).exact) << t;
    }
}

TEST(DissolveFactors, TheCacheFollowsTheWeight)
{
    DissolveFactors cache;
    EXPECT_EQ(DissolveFactorsFor(cache, 0.25f).destHigh, 0x4000);
    EXPECT_EQ(DissolveFactorsFor(cache, 0.5f).destHigh, 0x8000);
    EXPECT_FALSE(DissolveFactorsFor(cache, 1.0f).exact);
    EXPECT_TRUE(DissolveFactorsFor(cache, 0.75f).exact);
    EXPECT_EQ(DissolveFactorsFor(cache, 0.75f).destHigh, 0xC000);
}

}  // namespace

// The boxed nearest-entry search must answer exactly as a search of the
// whole palette: least squared RGB distance, lowest index on a tie.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/portable/nearest_color.h"
#include "platform/portable/standard_palettes.h"

namespace {

uint32_t WholePaletteSearch(const std::vector<uint32_t>& palette, uint32_t rgb)
{
    uint32_t best = 0;
    long bestDistance = -1;
    for (uint32_t i = 0; i < palette.size(); ++i) {
        long distance = 0;
        for (int shift : {16, 8, 0}) {
            const long d = long(palette[i] >> shift & 0xFF) - long(rgb >> shift & 0xFF);
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

void ExpectSameAnswers(const std::vector<uint32_t>& palette, std::mt19937& random, int samples)
{
    qv::host::NearestColorIndex nearest(palette.data(), uint32_t(palette.size()));
    for (int i = 0; i < samples; ++i) {
        const uint32_t rgb = uint32_t(random());  // top byte must be ignored
        ASSERT_EQ(nearest(rgb), WholePaletteSearch(palette, rgb & 0xFFFFFF)) << std::hex << rgb;
    }
    // Every entry finds itself or an earlier duplicate.
    for (uint32_t i = 0; i < palette.size(); ++i) ASSERT_EQ(nearest(palette[i]), WholePaletteSearch(palette, palette[i]));
}

TEST(NearestColor, StandardPalettesAgreeWithAFullSearch)
{
    std::mt19937 random(7);
    for (int depth : {1, 4, 8}) {
        SCOPED_TRACE(depth);
        std::vector<uint32_t> palette(size_t{1} << depth);
        qv::host::FillStandardPalette(depth, palette.data());
        ExpectSameAnswers(palette, random, 200000);
    }
}

TEST(NearestColor, RandomPalettesWithDuplicatesAgree)
{
    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        std::vector<uint32_t> palette(1 + random() % 256);
        for (auto& entry : palette) entry = random() & 0xFFFFFF;
        // Some entries repeated and some packed close together, to force ties.
        for (size_t i = 1; i < palette.size(); i += 7) palette[i] = palette[i / 2];
        for (size_t i = 2; i < palette.size(); i += 5) palette[i] = (palette[i - 1] + 0x010101) & 0xFFFFFF;
        ExpectSameAnswers(palette, random, 20000);
    }
}

TEST(NearestColor, TiesGoToTheLowestIndex)
{
    const std::vector<uint32_t> palette = {0x000000, 0x000002, 0x000002, 0x000004};
    qv::host::NearestColorIndex nearest(palette.data(), 4);
    EXPECT_EQ(nearest(0x000001), 0u);
    EXPECT_EQ(nearest(0x000002), 1u);
    EXPECT_EQ(nearest(0x000003), 1u);
    EXPECT_EQ(nearest(0xFF000004), 3u);

    // 0x080808 is a corner of its 8x8x8 box and lies 48 from both entries;
    // the first entry's nearest approach to the box is exactly that bound.
    const std::vector<uint32_t> corner = {0x040404, 0x0C0C0C};
    qv::host::NearestColorIndex boxed(corner.data(), 2);
    EXPECT_EQ(boxed(0x080808), 0u);
    EXPECT_EQ(boxed(0x090909), 1u);
}

}  // namespace

// Sampling, compositing and block writes of single positions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <vector>

#include "morph/composite.h"
#include "morph/numerics.h"
#include "morph/sampling.h"

namespace qv::morph {
namespace {

// A picture whose every slot holds its own index, so a read tells its slot.
struct IndexPicture {
    std::vector<uint32_t> words;
    PictureBuffer pic;
    IndexPicture(int32_t w, int32_t h) : words(static_cast<size_t>(w * h))
    {
        for (size_t i = 0; i < words.size(); ++i) words[i] = static_cast<uint32_t>(i);
        pic = {words.data(), w, h, static_cast<uint32_t>(w * h)};
    }
};

TEST(Numerics, TruncationMatchesTheProcessorForEveryInput)
{
    EXPECT_EQ(TruncToInt32(2.9), 2);
    EXPECT_EQ(TruncToInt32(-0.7), 0);
    EXPECT_EQ(TruncToInt32(-2.9), -2);
    EXPECT_EQ(TruncToInt32(2147483647.9), 2147483647);
    EXPECT_EQ(TruncToInt32(-2147483648.9), INT32_MIN);
    EXPECT_EQ(TruncToInt32(2147483648.0), INT32_MIN);
    EXPECT_EQ(TruncToInt32(-2147483649.0), INT32_MIN);
    EXPECT_EQ(TruncToInt32(std::numeric_limits<double>::quiet_NaN()), INT32_MIN);
    EXPECT_EQ(TruncToInt32(std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(TruncToInt32(-std::numeric_limits<double>::infinity()), INT32_MIN);
}

TEST(Numerics, NegativeIndexWrapsAsUnsigned)
{
    EXPECT_EQ(WrapSlot(-1, 0, 100, 10000), 7295u);  // 4294967295 mod 10000
    EXPECT_EQ(WrapSlot(5, 99, 100, 10000), 9905u);
    EXPECT_EQ(WrapSlot(0, 100, 100, 10000), 0u);
    // row * width overflowing 32 bits wraps instead of trapping.
    EXPECT_EQ(WrapSlot(0, 65536, 65536, 7), 0u);
}

TEST(NearestSampling, SourceAddsHalfAPixelDestinationDoesNot)
{
    IndexPicture p(10, 10);
    EXPECT_EQ(SampleNearest(p.pic, 2.5, 0.0, true), 3u);
    EXPECT_EQ(SampleNearest(p.pic, 2.5, 0.0, false), 2u);
    EXPECT_EQ(SampleNearest(p.pic, 2.4, 0.0, true), 2u);
    EXPECT_EQ(SampleNearest(p.pic, 2.4, 0.0, false), 2u);
    EXPECT_EQ(SampleNearest(p.pic, 2.6, 0.0, true), 3u);
    EXPECT_EQ(SampleNearest(p.pic, 2.6, 0.0, false), 2u);
    EXPECT_EQ(SampleNearest(p.pic, 0.0, 3.5, true), 40u);
    EXPECT_EQ(SampleNearest(p.pic, 0.0, 3.5, false), 30u);
}

TEST(NearestSampling, NegativePositionsTruncateThenWrap)
{
    IndexPicture p(100, 100);
    EXPECT_EQ(SampleNearest(p.pic, -0.6, 0.0, true), 0u);
    EXPECT_EQ(SampleNearest(p.pic, -1.6, 0.0, true), 7295u);
    EXPECT_EQ(SampleNearest(p.pic, -0.9, 0.0, false), 0u);
}

TEST(NearestSampling, TopByteOfTheWordPassesThrough)
{
    std::vector<uint32_t> words{0xAB123456u};
    PictureBuffer pic{words.data(), 1, 1, 1};
    EXPECT_EQ(SampleNearest(pic, 0.2, 0.2, true), 0xAB123456u);
}

TEST(BilinearSampling, PerProductTruncationGives111)
{
    // N0..N3 blue channels 100, 200, 50, 255 at fx = 0.25, fy = 0.5.
    std::vector<uint32_t> words{100, 200, 50, 255};
    PictureBuffer pic{words.data(), 2, 2, 4};
    EXPECT_EQ(SampleBilinear(pic, 0.25, 0.5, false, 0), 111u);
}

TEST(BilinearSampling, ChannelsStayInPlaceAndTopByteIsCleared)
{
    std::vector<uint32_t> words{0xFF102030u, 0, 0, 0};
    PictureBuffer pic{words.data(), 2, 2, 4};
    EXPECT_EQ(SampleBilinear(pic, 0.0, 0.0, false, 0), 0x00102030u);
}

TEST(BilinearSampling, OneKeyedNeighbourMakesTheKeyEvenAtZeroWeight)
{
    const uint32_t key = 0x44332211u;
    std::vector<uint32_t> words{0x00102030u, 0x00102030u, 0x00102030u, key};
    PictureBuffer pic{words.data(), 2, 2, 4};
    EXPECT_EQ(SampleBilinear(pic, 0.0, 0.0, true, key), key);
    // Without the key flag the key word is blended like any other (weight 0 here).
    EXPECT_EQ(SampleBilinear(pic, 0.0, 0.0, false, key), 0x00102030u);
}

TEST(BilinearSampling, NeighboursWrapAtTheLastColumnAndRow)
{
    // 3 x 3 picture: at the last pixel N1 reads slot 0, N2 slot W - 1 = 2, N3 slot W = 3.
    std::vector<uint32_t> words(9, 0);
    words[0] = 8;  // N1
    words[2] = 4;  // N2
    words[3] = 16; // N3
    words[8] = 0;  // N0
    PictureBuffer pic{words.data(), 3, 3, 9};
    // fx = fy = 0.5: every weight 0.25; 8/4 + 4/4 + 16/4 = 2 + 1 + 4.
    EXPECT_EQ(SampleBilinear(pic, 2.5, 2.5, false, 0), 7u);
    // Last column of row 0: N1 is the first pixel of row 1.
    std::vector<uint32_t> w2{0, 0, 0, 40, 0, 0, 0, 0, 0};
    PictureBuffer pic2{w2.data(), 3, 3, 9};
    EXPECT_EQ(SampleBilinear(pic2, 2.5, 0.0, false, 0), 20u);
}

TEST(BilinearSampling, NegativeFractionWrapsTheChannel)
{
    // x = -0.5 truncates to 0 with fx = -0.5: N0 weight 1.5, N1 weight -0.5.
    std::vector<uint32_t> words{200, 100, 0, 0};
    PictureBuffer pic{words.data(), 2, 2, 4};
    // 300 - 50 = 250 fits; 200 * 1.5 = 300 alone would wrap to 44.
    EXPECT_EQ(SampleBilinear(pic, -0.5, 0.0, false, 0), 250u);
    std::vector<uint32_t> w2{200, 0, 0, 0};
    PictureBuffer pic2{w2.data(), 2, 2, 4};
    EXPECT_EQ(SampleBilinear(pic2, -0.5, 0.0, false, 0), 44u);
}

TEST(SamplePicture, SwitchedOffPictureYieldsTheKeyValue)
{
    IndexPicture p(4, 4);
    const Point corners[3] = {{0, 0}, {3, 0}, {0, 3}};
    Weights w{0.5f, 0.25f, 0.25f};
    EXPECT_EQ(SamplePicture(p.pic, corners, w, MORPH_USE_DEST, 0xDEADBEEFu, Picture::Source), 0xDEADBEEFu);
    EXPECT_EQ(SamplePicture(p.pic, corners, w, MORPH_USE_SOURCE | MORPH_BILINEAR, 0x1u, Picture::Destination), 0x1u);
    // Mapped position: x = 0*0.25 + 3*0.25 + 0 = 0.75, y = 3*0.25 = 0.75.
    EXPECT_EQ(SamplePicture(p.pic, corners, w, MORPH_USE_SOURCE, 0, Picture::Source), 5u);      // (1, 1)
    EXPECT_EQ(SamplePicture(p.pic, corners, w, MORPH_USE_DEST, 0, Picture::Destination), 0u);   // (0, 0)
}

TEST(Compositing, CrossDissolveTruncatesEachPart)
{
    const uint32_t red = 0x00FF0000u, blue = 0x000000FFu;
    EXPECT_EQ(CompositePixel(red, blue, 0.5f, 0, 0), 0x007F007Fu);
    EXPECT_EQ(CompositePixel(0xAA123456u, blue, 0.0f, 0, 0), 0x00123456u);
    EXPECT_EQ(CompositePixel(red, 0xAA123456u, 1.0f, 0, 0), 0x00123456u);
    // t = 1.5: 0 * -0.5 + 200 * 1.5 = 300, written as 44.
    EXPECT_EQ(CompositePixel(0, 200, 1.5f, 0, 0), 44u);
}

TEST(Compositing, KeyTable)
{
    const uint32_t key = 0x44332211u;
    const uint32_t s = 0x00804020u, d = 0xAA6040C0u;
    const uint16_t kc = MORPH_KEY_COLOR, kf = MORPH_KEY_COLOR | MORPH_KEY_FADE;
    // Key flag clear: the key word is dissolved like any colour.
    EXPECT_EQ(CompositePixel(key, d, 0.0f, MORPH_KEY_FADE, key), 0x00332211u);
    // Neither keyed: dissolve.
    EXPECT_EQ(CompositePixel(s, d, 0.5f, kc, key), CompositePixel(s, d, 0.5f, 0, key));
    // Source keyed.
    EXPECT_EQ(CompositePixel(key, d, 0.25f, kc, key), d);
    EXPECT_EQ(CompositePixel(key, d, 0.0f, kf, key), 0u);
    EXPECT_EQ(CompositePixel(key, d, 1.0f, kf, key), 0x006040C0u);
    EXPECT_EQ(CompositePixel(key, d, 0.5f, kf, key), 0x00302060u);
    // Both keyed: the key itself, with or without fade.
    EXPECT_EQ(CompositePixel(key, key, 0.5f, kc, key), key);
    EXPECT_EQ(CompositePixel(key, key, 0.5f, kf, key), key);
    // Destination keyed.
    EXPECT_EQ(CompositePixel(s | 0xEE000000u, key, 0.5f, kc, key), s | 0xEE000000u);
    EXPECT_EQ(CompositePixel(s, key, 0.0f, kf, key), s);
    EXPECT_EQ(CompositePixel(s, key, 1.0f, kf, key), 0u);
    EXPECT_EQ(CompositePixel(s, key, 0.5f, kf, key), 0x00402010u);
}

TEST(Compositing, NaNWeightGivesADefinedWord)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Every product truncates to INT32_MIN, whose low byte is 0.
    EXPECT_EQ(CompositePixel(0x00FFFFFFu, 0x00FFFFFFu, nan, 0, 0), 0u);
}

std::vector<uint32_t> WrittenSlots(int32_t w, int32_t h, int32_t x, int32_t y, int16_t n)
{
    std::vector<uint32_t> words(static_cast<size_t>(w * h), 0);
    PictureBuffer out{words.data(), w, h, static_cast<uint32_t>(w * h)};
    WriteBlock(out, x, y, MakeBlockParams(n), 1);
    std::vector<uint32_t> slots;
    for (size_t i = 0; i < words.size(); ++i)
        if (words[i]) slots.push_back(static_cast<uint32_t>(i));
    return slots;
}

TEST(BlockWrite, TopLeftCornerWrapsAsUnsigned)
{
    EXPECT_EQ(WrittenSlots(100, 100, 0, 0, 3),
              (std::vector<uint32_t>{0, 1, 99, 100, 101, 7195, 7196, 7197, 7295}));
}

TEST(BlockWrite, LastRowWrapsIntoRowZero)
{
    EXPECT_EQ(WrittenSlots(100, 100, 50, 99, 2), (std::vector<uint32_t>{50, 51, 9950, 9951}));
}

TEST(BlockWrite, SizesOneAndTwo)
{
    EXPECT_EQ(WrittenSlots(10, 10, 4, 4, 1), (std::vector<uint32_t>{44}));
    EXPECT_EQ(WrittenSlots(10, 10, 4, 4, 2), (std::vector<uint32_t>{44, 45, 54, 55}));
    EXPECT_EQ(WrittenSlots(10, 10, 4, 4, 4).size(), 16u);
    EXPECT_EQ(WrittenSlots(10, 10, 4, 4, 4).front(), 33u);  // offsets -1..2
    EXPECT_EQ(WrittenSlots(10, 10, 4, 4, 4).back(), 66u);
}

}  // namespace
}  // namespace qv::morph

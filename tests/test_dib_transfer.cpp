// GetDIBits and SetDIBits on host bitmaps: row order, depth conversion,
// colour tables, partial overlap and rejected headers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/portable/dib_read.h"
#include "support/dib_buffers.h"

namespace {

using qv::gfx::DibInfo;
using qv::gfx::GetDIBits;
using qv::gfx::SetDIBits;
using qv::test::BitmapHandle;
using qv::test::BitmapRow;
using qv::test::BitmapWord;
using qv::test::GuardedBuffer;
using qv::test::MakeBitmap;
using qv::test::MakeDibInfo;
using qv::test::SetBitmapWord;

constexpr uint32_t kCanaryWord = 0xCDCDCDCD;

// Reads `bitmap` with the DIB layout `info` into a fresh guarded buffer of
// `rows` rows; returns the call's result through `result`.
GuardedBuffer Read(HostBitmap* bitmap, DibInfo& info, uint32_t rows, int32_t* result,
                   uint32_t startScan = 0)
{
    GuardedBuffer buffer(size_t{qv::gfx::DibStride(info.header.biWidth, info.header.biBitCount)} * rows);
    *result = GetDIBits(nullptr, bitmap, startScan, rows, buffer.data(), &info, qv::gfx::kDibRgbColors);
    return buffer;
}

uint32_t ColorOf(const DibInfo& info, int index)
{
    const qv::gfx::DibColor& c = info.colors[index];
    EXPECT_EQ(c.reserved, 0) << "entry " << index;
    return uint32_t{c.red} << 16 | uint32_t{c.green} << 8 | c.blue;
}

void SetBitmapWords(HostBitmap* bitmap, int32_t y, std::initializer_list<uint32_t> words)
{
    int32_t x = 0;
    for (uint32_t word : words) SetBitmapWord(bitmap, x++, y, word);
}

void SetBitmapBytes(HostBitmap* bitmap, int32_t y, std::initializer_list<uint8_t> bytes)
{
    std::memcpy(BitmapRow(bitmap, y), bytes.begin(), bytes.size());
}

void ExpectBytes(const uint8_t* actual, std::initializer_list<uint8_t> expected)
{
    size_t i = 0;
    for (uint8_t byte : expected) {
        EXPECT_EQ(actual[i], byte) << "byte " << i;
        ++i;
    }
}

void SetMasks(DibInfo& info, uint32_t red, uint32_t green, uint32_t blue)
{
    info.header.biCompression = 3;  // BI_BITFIELDS
    const uint32_t masks[3] = {red, green, blue};
    std::memcpy(info.colors, masks, sizeof masks);
}

// ---- row order ----

class ThreeByTwo32 : public testing::Test {
protected:
    void SetUp() override
    {
        bitmap_ = MakeBitmap(3, 2, 32);
        ASSERT_NE(bitmap_, nullptr);
        SetBitmapWords(bitmap_.get(), 0, {0xA1000001, 0xA2000002, 0xA3000003});
        SetBitmapWords(bitmap_.get(), 1, {0xB1000011, 0xB2000012, 0xB3000013});
    }
    BitmapHandle bitmap_;
};

TEST_F(ThreeByTwo32, TopDownReadKeepsRowsAndTopBytes)
{
    DibInfo info = MakeDibInfo(3, -2, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 2, &rows);
    EXPECT_EQ(rows, 2);
    const uint32_t expected[6] = {0xA1000001, 0xA2000002, 0xA3000003, 0xB1000011, 0xB2000012, 0xB3000013};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer.Word(4 * i), expected[i]) << i;
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST_F(ThreeByTwo32, BottomUpReadStartsWithTheBottomRow)
{
    DibInfo info = MakeDibInfo(3, 2, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 2, &rows);
    EXPECT_EQ(rows, 2);
    const uint32_t expected[6] = {0xB1000011, 0xB2000012, 0xB3000013, 0xA1000001, 0xA2000002, 0xA3000003};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(buffer.Word(4 * i), expected[i]) << i;
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST_F(ThreeByTwo32, TwentyFourBitReadDropsTopBytesAndClearsPadding)
{
    SetBitmapWords(bitmap_.get(), 0, {0xFF112233, 0x00445566, 0x80778899});
    SetBitmapWords(bitmap_.get(), 1, {0x01AABBCC, 0x02DDEEFF, 0x03010203});
    DibInfo info = MakeDibInfo(3, -2, 24);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 2, &rows);
    EXPECT_EQ(rows, 2);
    ExpectBytes(buffer.data(), {0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0,
                                0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0x03, 0x02, 0x01, 0, 0, 0});
    EXPECT_TRUE(buffer.GuardsIntact());
}

// ---- depth conversions ----

TEST(DibRead, TwentyFourBitBitmapGivesWordsWithTopByteZero)
{
    auto bitmap = MakeBitmap(2, 1, 24);
    SetBitmapBytes(bitmap.get(), 0, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    DibInfo info = MakeDibInfo(2, -1, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(buffer.Word(0), 0x00030201u);
    EXPECT_EQ(buffer.Word(4), 0x00060504u);
}

class FiveFiveFive : public testing::Test {
protected:
    void SetUp() override
    {
        bitmap_ = MakeBitmap(8, 1, 16);
        ASSERT_NE(bitmap_, nullptr);
        const uint16_t words[8] = {0x7FFF, 0x0421, 0x1084, 0x7C00, 0x03E0, 0x001F, 0x8000, 0x294A};
        std::memcpy(GetHostBitmapBits(bitmap_.get()), words, sizeof words);
    }
    BitmapHandle bitmap_;
};

TEST_F(FiveFiveFive, ChannelsWidenAsTimes255Over31)
{
    DibInfo info = MakeDibInfo(8, 1, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    // 1 -> 8, 4 -> 32 (bit replication would give 33), 10 -> 82; bit 15 is unused.
    const uint32_t expected[8] = {0xFFFFFF, 0x080808, 0x202020, 0xFF0000, 0x00FF00, 0x0000FF, 0x000000, 0x525252};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(buffer.Word(4 * i), expected[i]) << i;
}

TEST_F(FiveFiveFive, TwentyFourBitReadGivesTheSameChannels)
{
    DibInfo info = MakeDibInfo(8, 1, 24);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xFF, 0xFF, 0xFF, 0x08, 0x08, 0x08, 0x20, 0x20, 0x20, 0x00, 0x00, 0xFF,
                                0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x52, 0x52, 0x52});
}

TEST_F(FiveFiveFive, SameDepthCopiesWordsWithTheirTopBit)
{
    reinterpret_cast<uint16_t*>(GetHostBitmapBits(bitmap_.get()))[0] = 0xFFFF;
    DibInfo info = MakeDibInfo(8, 1, 16);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap_.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xFF, 0xFF, 0x21, 0x04, 0x84, 0x10, 0x00, 0x7C,
                                0xE0, 0x03, 0x1F, 0x00, 0x00, 0x80, 0x4A, 0x29});
}

TEST(DibRead, SixteenBitTargetTakesTheTopFiveBits)
{
    auto bitmap = MakeBitmap(4, 1, 32);
    SetBitmapWords(bitmap.get(), 0, {0xFFFFFFFF, 0x00080808, 0x00070707, 0xAB123456});
    DibInfo info = MakeDibInfo(4, 1, 16);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xFF, 0x7F, 0x21, 0x04, 0x00, 0x00, 0xCA, 0x08});
}

TEST(DibRead, FiveSixFiveMasksGiveSixBitsOfGreen)
{
    auto bitmap = MakeBitmap(3, 1, 32);
    SetBitmapWords(bitmap.get(), 0, {0xFFFFFFFF, 0x00123456, 0x00000400});
    DibInfo info = MakeDibInfo(3, 1, 16);
    SetMasks(info, 0xF800, 0x07E0, 0x001F);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xFF, 0xFF, 0xAA, 0x11, 0x20, 0x00, 0x00, 0x00});
    uint32_t masks[3];
    std::memcpy(masks, info.colors, sizeof masks);
    EXPECT_EQ(masks[0], 0xF800u);
    EXPECT_EQ(masks[1], 0x07E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
}

TEST(DibRead, BitfieldsWithoutMasksMeanFiveFiveFive)
{
    // The header an image library gives a 16-bit picture allocated without masks.
    auto bitmap = MakeBitmap(1, 1, 32);
    SetBitmapWord(bitmap.get(), 0, 0, 0x00123456);
    DibInfo info = MakeDibInfo(1, 1, 16);
    SetMasks(info, 0, 0, 0);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xCA, 0x08, 0x00, 0x00});
    // The masks of the layout delivered are filled in, as GDI does.
    uint32_t masks[3];
    std::memcpy(masks, info.colors, sizeof masks);
    EXPECT_EQ(masks[0], 0x7C00u);
    EXPECT_EQ(masks[1], 0x03E0u);
    EXPECT_EQ(masks[2], 0x001Fu);
}

TEST(DibRead, OtherMasksAreRefused)
{
    auto bitmap = MakeBitmap(2, 1, 32);
    DibInfo sixteen = MakeDibInfo(2, 1, 16);
    SetMasks(sixteen, 0x0F00, 0x00F0, 0x000F);
    DibInfo thirtyTwo = MakeDibInfo(2, 1, 32);
    SetMasks(thirtyTwo, 0x0000FF, 0x00FF00, 0xFF0000);
    DibInfo twentyFour = MakeDibInfo(2, 1, 24);
    SetMasks(twentyFour, 0xFF0000, 0x00FF00, 0x0000FF);
    for (DibInfo* info : {&sixteen, &thirtyTwo, &twentyFour}) {
        int32_t rows = -1;
        GuardedBuffer buffer = Read(bitmap.get(), *info, 1, &rows);
        EXPECT_EQ(rows, 0);
        for (size_t i = 0; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], GuardedBuffer::kCanary);
    }
}

TEST(DibRead, SameDepthPaletteCopiesIndicesAndTheBitmapPalette)
{
    auto bitmap = MakeBitmap(4, 2, 8);
    uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    palette[3] = 0x123456;
    palette[4] = 0x123456;  // a duplicate keeps its own index
    palette[200] = 0xABCDEF;
    SetBitmapBytes(bitmap.get(), 0, {0, 7, 200, 255});
    SetBitmapBytes(bitmap.get(), 1, {3, 4, 5, 6});
    DibInfo info = MakeDibInfo(4, -2, 8);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 2, &rows);
    EXPECT_EQ(rows, 2);
    ExpectBytes(buffer.data(), {0, 7, 200, 255, 3, 4, 5, 6});
    EXPECT_EQ(ColorOf(info, 3), 0x123456u);
    EXPECT_EQ(ColorOf(info, 4), 0x123456u);
    EXPECT_EQ(ColorOf(info, 7), 0x003333u);
    EXPECT_EQ(ColorOf(info, 200), 0xABCDEFu);
    EXPECT_EQ(ColorOf(info, 255), 0xF9F9F9u);
    EXPECT_EQ(info.header.biClrUsed, 0u);  // left as the caller set it
}

TEST(DibRead, PaletteReadKeepsTheCallersColourCountsWhereGdiClearsThem)
{
    // Image libraries describe a palette picture with biClrUsed = 2^depth and
    // find the pixels after that many entries; GDI sets it to 0 on a read.
    for (int32_t depth : {1, 4, 8}) {
        SCOPED_TRACE(depth);
        auto bitmap = MakeBitmap(4, 2, depth);
        ASSERT_NE(bitmap, nullptr);
        DibInfo info = MakeDibInfo(4, 2, uint16_t(depth));
        info.header.biClrUsed = 1u << depth;
        info.header.biClrImportant = 1;
        DibInfo raw = info;

        int32_t rows = 0;
        GuardedBuffer buffer = Read(bitmap.get(), info, 2, &rows);
        EXPECT_EQ(rows, 2);
        EXPECT_EQ(info.header.biClrUsed, 1u << depth);
        EXPECT_EQ(info.header.biClrImportant, 1u);

        GuardedBuffer rawBuffer(size_t{qv::gfx::DibStride(4, depth)} * 2);
        EXPECT_EQ(qv::host::ReadBitmapLikeGdi(nullptr, bitmap.get(), 0, 2, rawBuffer.data(), &raw,
                                              qv::gfx::kDibRgbColors),
                  2);
        EXPECT_EQ(raw.header.biClrUsed, 0u);
        EXPECT_EQ(raw.header.biClrImportant, 1u);
        EXPECT_EQ(std::memcmp(raw.colors, info.colors, sizeof(qv::gfx::DibColor) << depth), 0);
        EXPECT_EQ(std::memcmp(rawBuffer.data(), buffer.data(), size_t{qv::gfx::DibStride(4, depth)} * 2), 0);
    }
}

TEST(DibRead, TrueColourReadLeavesTheColourCountsAlone)
{
    auto bitmap = MakeBitmap(2, 2, 8);
    ASSERT_NE(bitmap, nullptr);
    DibInfo info = MakeDibInfo(2, 2, 24);
    info.header.biClrUsed = 7;
    info.header.biClrImportant = 5;
    int32_t rows = 0;
    Read(bitmap.get(), info, 2, &rows);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(info.header.biClrUsed, 7u);
    EXPECT_EQ(info.header.biClrImportant, 5u);
}

TEST(DibRead, PaletteBitmapToTrueColourGoesThroughItsPalette)
{
    auto bitmap = MakeBitmap(4, 1, 8);
    GetHostBitmapPalette(bitmap.get())[200] = 0xABCDEF;
    SetBitmapBytes(bitmap.get(), 0, {0, 7, 200, 255});
    DibInfo info = MakeDibInfo(4, 1, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(buffer.Word(0), 0x000000u);
    EXPECT_EQ(buffer.Word(4), 0x003333u);
    EXPECT_EQ(buffer.Word(8), 0xABCDEFu);
    EXPECT_EQ(buffer.Word(12), 0xF9F9F9u);
}

TEST(DibRead, TrueColourToEightBitsUsesTheStandardPaletteAndNearestEntries)
{
    auto bitmap = MakeBitmap(7, 1, 32);
    SetBitmapWords(bitmap.get(), 0,
                   {0x00FF0000, 0x000000FF, 0x00808080, 0x00FFFFFF, 0xFF000000, 0x0033CC99, 0x00FE0101});
    DibInfo info = MakeDibInfo(7, 1, 8);
    for (auto& c : info.colors) c = {0x11, 0x22, 0x33, 0x44};
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    // Grey 128 lies nearest the ramp's 131 (entry 236), not the cube's 102 or 153.
    ExpectBytes(buffer.data(), {180, 5, 236, 215, 0, 63, 180, 0});
    EXPECT_EQ(ColorOf(info, 0), 0x000000u);
    EXPECT_EQ(ColorOf(info, 63), 0x33CC99u);
    EXPECT_EQ(ColorOf(info, 180), 0xFF0000u);
    EXPECT_EQ(ColorOf(info, 236), 0x838383u);
}

TEST(DibRead, TrueColourToOneBitPacksFromTheHighBit)
{
    auto bitmap = MakeBitmap(10, 1, 32);
    SetBitmapWords(bitmap.get(), 0,
                   {0xFFFFFF, 0x000000, 0xC0C0C0, 0xFF00FFFF, 0x404040, 0x101010, 0x7F7F7F, 0x808080,
                    0xFFFFFF, 0x000000});
    DibInfo info = MakeDibInfo(10, 1, 1);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0xB1, 0x80, 0x00, 0x00});
    EXPECT_EQ(ColorOf(info, 0), 0x000000u);
    EXPECT_EQ(ColorOf(info, 1), 0xFFFFFFu);
}

TEST(DibRead, OneBitBitmapReadsThroughItsPalette)
{
    auto bitmap = MakeBitmap(10, 1, 1);
    GetHostBitmapPalette(bitmap.get())[1] = 0x00FF00;
    SetBitmapBytes(bitmap.get(), 0, {0xB1, 0x80});
    DibInfo info = MakeDibInfo(10, 1, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    const uint32_t expected[10] = {0xFF00, 0, 0xFF00, 0xFF00, 0, 0, 0, 0xFF00, 0xFF00, 0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buffer.Word(4 * i), expected[i]) << i;
}

TEST(DibRead, FourBitBitmapToTwentyFourBits)
{
    auto bitmap = MakeBitmap(3, 1, 4);
    SetBitmapBytes(bitmap.get(), 0, {0x1F, 0x70});
    DibInfo info = MakeDibInfo(3, 1, 24);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xC0, 0xC0, 0xC0, 0, 0, 0});
}

TEST(DibRead, TrueColourToFourBitsPacksNibbles)
{
    auto bitmap = MakeBitmap(5, 1, 32);
    SetBitmapWords(bitmap.get(), 0, {0x800000, 0xC0C0C0, 0xFF00FF, 0x7F0000, 0xF0F0F0});
    DibInfo info = MakeDibInfo(5, 1, 4);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0x17, 0xD1, 0xF0, 0x00});
    EXPECT_EQ(ColorOf(info, 13), 0xFF00FFu);
}

TEST(DibRead, EquallyNearEntriesGoToTheLowerIndex)
{
    auto bitmap = MakeBitmap(3, 1, 32);
    // 0x400000 lies 64 from black (0) and from maroon (1); 0xA0A0A0 lies 32
    // from grey 0x808080 (8) and from silver 0xC0C0C0 (7).
    SetBitmapWords(bitmap.get(), 0, {0x400000, 0xA0A0A0, 0x004080});
    DibInfo info = MakeDibInfo(3, 1, 4);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    // 0x004080 lies 64 from navy (4) and from teal (6).
    ExpectBytes(buffer.data(), {0x07, 0x40, 0x00, 0x00});
}

TEST(DibRead, PaletteOfAnotherDepthMapsThroughColours)
{
    auto bitmap = MakeBitmap(2, 1, 4);
    SetBitmapBytes(bitmap.get(), 0, {0x9C});  // red, blue
    DibInfo info = MakeDibInfo(2, 1, 8);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {180, 5});
    EXPECT_EQ(ColorOf(info, 1), 0x000033u);  // the standard 8-bit table, not the bitmap's
}

// ---- sizes that differ ----

uint32_t Pattern(int32_t x, int32_t y) { return 0x55000000u | uint32_t(y) << 8 | uint32_t(x); }

BitmapHandle PatternBitmap(int32_t width, int32_t height)
{
    auto bitmap = MakeBitmap(width, height, 32);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) SetBitmapWord(bitmap.get(), x, y, Pattern(x, y));
    return bitmap;
}

TEST(DibReadOverlap, LargerTopDownDibGetsTheBitmapInItsTopLeftCorner)
{
    auto bitmap = PatternBitmap(3, 2);
    DibInfo info = MakeDibInfo(5, -4, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 4, &rows);
    EXPECT_EQ(rows, 2);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(buffer.Word(4 * size_t(y * 5 + x)), x < 3 && y < 2 ? Pattern(x, y) : kCanaryWord)
                << x << "," << y;
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(DibReadOverlap, LargerBottomUpDibKeepsTheTopRowsAligned)
{
    auto bitmap = PatternBitmap(3, 2);
    DibInfo info = MakeDibInfo(5, 4, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 4, &rows);
    EXPECT_EQ(rows, 2);
    for (int32_t s = 0; s < 4; ++s) {
        const int32_t y = 3 - s;  // memory row s holds picture row 3 - s
        for (int32_t x = 0; x < 5; ++x)
            EXPECT_EQ(buffer.Word(4 * size_t(s * 5 + x)), x < 3 && y < 2 ? Pattern(x, y) : kCanaryWord)
                << x << "," << s;
    }
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(DibReadOverlap, WiderTwentyFourBitDibKeepsItsTailAndClearsOnlyPadding)
{
    auto bitmap = PatternBitmap(3, 1);
    DibInfo info = MakeDibInfo(5, 1, 24);  // 15 bytes of pixels, 1 of padding
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 1, &rows);
    EXPECT_EQ(rows, 1);
    ExpectBytes(buffer.data(), {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0xCD, 0xCD, 0xCD,
                                0xCD, 0xCD, 0xCD, 0x00});
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(DibReadOverlap, SmallerDibGetsTheTopLeftOfTheBitmap)
{
    auto bitmap = PatternBitmap(5, 4);
    DibInfo info = MakeDibInfo(2, 3, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), info, 3, &rows);
    EXPECT_EQ(rows, 3);
    for (int32_t s = 0; s < 3; ++s)
        for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(buffer.Word(4 * size_t(s * 2 + x)), Pattern(x, 2 - s));
    EXPECT_TRUE(buffer.GuardsIntact());
}

TEST(DibReadOverlap, StartScanCountsInMemoryOrder)
{
    auto bitmap = PatternBitmap(4, 4);
    DibInfo bottomUp = MakeDibInfo(4, 4, 32);
    int32_t rows = 0;
    GuardedBuffer up = Read(bitmap.get(), bottomUp, 2, &rows, 1);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(up.Word(0), Pattern(0, 2));
    EXPECT_EQ(up.Word(16 + 12), Pattern(3, 1));
    EXPECT_TRUE(up.GuardsIntact());

    DibInfo topDown = MakeDibInfo(4, -4, 32);
    GuardedBuffer down = Read(bitmap.get(), topDown, 2, &rows, 1);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(down.Word(0), Pattern(0, 1));
    EXPECT_EQ(down.Word(16 + 12), Pattern(3, 2));
    EXPECT_TRUE(down.GuardsIntact());
}

TEST(DibReadOverlap, ScanLinesPastTheDibHeightAreNotWritten)
{
    auto bitmap = PatternBitmap(4, 4);
    for (int32_t height : {4, -4}) {
        SCOPED_TRACE(height);
        DibInfo info = MakeDibInfo(4, height, 32);
        int32_t rows = 0;
        GuardedBuffer buffer = Read(bitmap.get(), info, 5, &rows, 3);
        EXPECT_EQ(rows, 1);
        EXPECT_EQ(buffer.Word(0), Pattern(0, height > 0 ? 0 : 3));
        for (size_t i = 16; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], GuardedBuffer::kCanary) << i;
        EXPECT_TRUE(buffer.GuardsIntact());

        GuardedBuffer none = Read(bitmap.get(), info, 2, &rows, 4);
        EXPECT_EQ(rows, 0);
        for (size_t i = 0; i < none.size(); ++i) ASSERT_EQ(none[i], GuardedBuffer::kCanary) << i;
    }
}

TEST(DibReadOverlap, ExtremeHeightsTouchOnlyRowsThatExist)
{
    auto bitmap = PatternBitmap(2, 2);
    DibInfo topDown = MakeDibInfo(2, INT32_MIN, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), topDown, 3, &rows);
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(buffer.Word(12), Pattern(1, 1));
    EXPECT_EQ(buffer.Word(16), kCanaryWord);
    EXPECT_TRUE(buffer.GuardsIntact());

    DibInfo bottomUp = MakeDibInfo(2, INT32_MAX, 32);
    GuardedBuffer far = Read(bitmap.get(), bottomUp, 2, &rows);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(far.Word(0), kCanaryWord);
}

// ---- rejected calls ----

TEST(DibReadRejects, BadHeadersAndHandlesWriteNothing)
{
    auto bitmap = PatternBitmap(2, 2);
    struct Mutation {
        const char* name;
        void (*apply)(DibInfo&);
    };
    const Mutation mutations[] = {
        {"biSize 12", [](DibInfo& i) { i.header.biSize = 12; }},
        {"biSize 39", [](DibInfo& i) { i.header.biSize = 39; }},
        {"biSize 125", [](DibInfo& i) { i.header.biSize = 125; }},
        {"depth 0", [](DibInfo& i) { i.header.biBitCount = 0; }},
        {"depth 2", [](DibInfo& i) { i.header.biBitCount = 2; }},
        {"depth 7", [](DibInfo& i) { i.header.biBitCount = 7; }},
        {"depth 64", [](DibInfo& i) { i.header.biBitCount = 64; }},
        {"width 0", [](DibInfo& i) { i.header.biWidth = 0; }},
        {"width -3", [](DibInfo& i) { i.header.biWidth = -3; }},
        {"height 0", [](DibInfo& i) { i.header.biHeight = 0; }},
        {"RLE8", [](DibInfo& i) { i.header.biCompression = 1; }},
        {"RLE4", [](DibInfo& i) { i.header.biCompression = 2; }},
        {"JPEG", [](DibInfo& i) { i.header.biCompression = 4; }},
        {"row too long", [](DibInfo& i) { i.header.biWidth = INT32_MAX; }},
    };
    for (const Mutation& m : mutations) {
        SCOPED_TRACE(m.name);
        DibInfo info = MakeDibInfo(2, 2, 32);
        m.apply(info);
        GuardedBuffer buffer(16);
        EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), &info, 0), 0);
        for (size_t i = 0; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], GuardedBuffer::kCanary);
        EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), &info, 0), 0);
    }
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 2; ++x) EXPECT_EQ(BitmapWord(bitmap.get(), x, y), Pattern(x, y));

    DibInfo info = MakeDibInfo(2, 2, 32);
    GuardedBuffer buffer(16);
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), &info, 1), 0);  // DIB_PAL_COLORS
    EXPECT_EQ(GetDIBits(nullptr, nullptr, 0, 2, buffer.data(), &info, 0), 0);
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), nullptr, 0), 0);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), &info, 1), 0);
    EXPECT_EQ(SetDIBits(nullptr, nullptr, 0, 2, buffer.data(), &info, 0), 0);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 2, nullptr, &info, 0), 0);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 2, buffer.data(), nullptr, 0), 0);
    for (size_t i = 0; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], GuardedBuffer::kCanary);
}

// ---- no buffer: the size query ----

TEST(DibReadQuery, NullBitsFillsTheImageSizeAndColourTable)
{
    auto bitmap = MakeBitmap(5, 3, 24);
    DibInfo info = MakeDibInfo(5, -3, 24);
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 3, nullptr, &info, 0), 3);
    EXPECT_EQ(info.header.biSizeImage, 48u);

    DibInfo palette = MakeDibInfo(5, 3, 8);
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 3, nullptr, &palette, 0), 3);
    EXPECT_EQ(palette.header.biSizeImage, 24u);
    EXPECT_EQ(ColorOf(palette, 180), 0xFF0000u);
}

TEST(DibReadQuery, ZeroBitCountAsksForTheBitmapFormat)
{
    auto bitmap = MakeBitmap(5, 3, 16);
    DibInfo info{};
    info.header.biSize = 40;
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, 0, nullptr, &info, 0), 3);
    EXPECT_EQ(info.header.biWidth, 5);
    EXPECT_EQ(info.header.biHeight, 3);
    EXPECT_EQ(info.header.biPlanes, 1);
    EXPECT_EQ(info.header.biBitCount, 16);
    EXPECT_EQ(info.header.biCompression, 0u);
    EXPECT_EQ(info.header.biSizeImage, 36u);
}

// ---- writing ----

TEST(DibWrite, TopDownWordsIntoTwentyFourBits)
{
    auto bitmap = MakeBitmap(3, 2, 24);
    const uint32_t words[6] = {0x01020304, 0x05060708, 0x090A0B0C, 0x0D0E0F10, 0x11121314, 0x15161718};
    DibInfo info = MakeDibInfo(3, -2, 32);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 2, words, &info, 0), 2);
    ExpectBytes(BitmapRow(bitmap.get(), 0), {0x04, 0x03, 0x02, 0x08, 0x07, 0x06, 0x0C, 0x0B, 0x0A, 0, 0, 0});
    ExpectBytes(BitmapRow(bitmap.get(), 1), {0x10, 0x0F, 0x0E, 0x14, 0x13, 0x12, 0x18, 0x17, 0x16, 0, 0, 0});
}

TEST(DibWrite, FiveSixFiveWordsIntoThirtyTwoBits)
{
    auto bitmap = MakeBitmap(4, 1, 32);
    const uint16_t words[4] = {0x07E0, 0x0020, 0xF800, 0x0841};
    DibInfo info = MakeDibInfo(4, 1, 16);
    SetMasks(info, 0xF800, 0x07E0, 0x001F);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, words, &info, 0), 1);
    EXPECT_EQ(BitmapWord(bitmap.get(), 0, 0), 0x00FF00u);
    EXPECT_EQ(BitmapWord(bitmap.get(), 1, 0), 0x000400u);
    EXPECT_EQ(BitmapWord(bitmap.get(), 2, 0), 0xFF0000u);
    EXPECT_EQ(BitmapWord(bitmap.get(), 3, 0), 0x080808u);
}

TEST(DibWrite, IntoSixteenBitsTruncatesChannels)
{
    auto bitmap = MakeBitmap(2, 1, 16);
    const uint32_t words[2] = {0x00FFFFFF, 0x00123456};
    DibInfo info = MakeDibInfo(2, 1, 32);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, words, &info, 0), 1);
    ExpectBytes(BitmapRow(bitmap.get(), 0), {0xFF, 0x7F, 0xCA, 0x08});
    DibInfo read = MakeDibInfo(2, 1, 32);
    int32_t rows = 0;
    GuardedBuffer buffer = Read(bitmap.get(), read, 1, &rows);
    EXPECT_EQ(buffer.Word(0), 0xFFFFFFu);
    EXPECT_EQ(buffer.Word(4), 0x103152u);  // 2, 6, 10 widened to 16, 49, 82
}

TEST(DibWrite, PaletteBitmapTakesItsOwnNearestEntries)
{
    auto bitmap = MakeBitmap(4, 1, 8);
    DibInfo info = MakeDibInfo(4, 1, 8);
    const uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    for (int i = 0; i < 256; ++i)
        info.colors[i] = {uint8_t(palette[i]), uint8_t(palette[i] >> 8), uint8_t(palette[i] >> 16), 0};
    info.colors[9] = {0x00, 0xFF, 0x00, 0};  // the bitmap's entry 9 is 0x003399
    const uint8_t indices[4] = {9, 10, 255, 180};
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, indices, &info, 0), 1);
    ExpectBytes(BitmapRow(bitmap.get(), 0), {30, 10, 255, 180});
}

TEST(DibWrite, ShortColourTablesReadBlackPastTheirEnd)
{
    auto bitmap = MakeBitmap(3, 1, 8);
    DibInfo info = MakeDibInfo(3, 1, 8);
    info.header.biClrUsed = 2;
    info.colors[0] = {0x00, 0x00, 0xFF, 0};  // red
    info.colors[1] = {0xFF, 0xFF, 0xFF, 0};
    info.colors[5] = {0xFF, 0x00, 0x00, 0};  // beyond biClrUsed: not used
    const uint8_t indices[3] = {0, 1, 5};
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, indices, &info, 0), 1);
    ExpectBytes(BitmapRow(bitmap.get(), 0), {180, 215, 0});
}

TEST(DibWrite, DuplicatePaletteEntriesKeepTheirIndices)
{
    auto bitmap = MakeBitmap(2, 1, 4);
    uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    palette[3] = palette[4] = 0x123456;
    DibInfo info = MakeDibInfo(2, 1, 4);
    for (int i = 0; i < 16; ++i)
        info.colors[i] = {uint8_t(palette[i]), uint8_t(palette[i] >> 8), uint8_t(palette[i] >> 16), 0};
    const uint8_t packed[4] = {0x43, 0, 0, 0};
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, packed, &info, 0), 1);
    EXPECT_EQ(BitmapRow(bitmap.get(), 0)[0], 0x43);
}

TEST(DibWrite, OneBitDibThroughItsColourTable)
{
    auto bitmap = MakeBitmap(10, 1, 32);
    DibInfo info = MakeDibInfo(10, 1, 1);
    info.colors[0] = {0xFF, 0x00, 0x00, 0};
    info.colors[1] = {0x00, 0x80, 0xFF, 0};
    const uint8_t packed[4] = {0xB1, 0x80, 0xFF, 0xFF};
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, packed, &info, 0), 1);
    const uint32_t expected[10] = {0xFF8000, 0xFF, 0xFF8000, 0xFF8000, 0xFF, 0xFF, 0xFF, 0xFF8000, 0xFF8000, 0xFF};
    for (int32_t x = 0; x < 10; ++x) EXPECT_EQ(BitmapWord(bitmap.get(), x, 0), expected[x]) << x;
}

TEST(DibWrite, LargerDibFillsTheBitmapAndLeavesItsPadding)
{
    auto bitmap = MakeBitmap(3, 2, 24);
    std::vector<uint32_t> words(5 * 4);
    for (size_t i = 0; i < words.size(); ++i) words[i] = 0x00A0B0C0u + uint32_t(i);
    DibInfo info = MakeDibInfo(5, -4, 32);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 4, words.data(), &info, 0), 2);
    ExpectBytes(BitmapRow(bitmap.get(), 0), {0xC0, 0xB0, 0xA0, 0xC1, 0xB0, 0xA0, 0xC2, 0xB0, 0xA0, 0, 0, 0});
    ExpectBytes(BitmapRow(bitmap.get(), 1), {0xC5, 0xB0, 0xA0, 0xC6, 0xB0, 0xA0, 0xC7, 0xB0, 0xA0, 0, 0, 0});
}

TEST(DibWrite, SmallerDibLeavesTheRestOfTheBitmap)
{
    auto bitmap = PatternBitmap(3, 2);
    const uint32_t words[2] = {0x11111111, 0x22222222};
    DibInfo info = MakeDibInfo(2, 1, 32);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, 1, words, &info, 0), 1);
    EXPECT_EQ(BitmapWord(bitmap.get(), 0, 0), 0x11111111u);
    EXPECT_EQ(BitmapWord(bitmap.get(), 1, 0), 0x22222222u);
    EXPECT_EQ(BitmapWord(bitmap.get(), 2, 0), Pattern(2, 0));
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(BitmapWord(bitmap.get(), x, 1), Pattern(x, 1));
}

TEST(DibRoundTrip, ThirtyTwoBitsComeBackWordForWord)
{
    std::mt19937 random(1234);
    const int32_t width = 17, height = 11;
    std::vector<uint32_t> words(size_t(width * height));
    for (auto& w : words) w = static_cast<uint32_t>(random());
    for (int32_t sign : {-1, 1}) {
        SCOPED_TRACE(sign);
        auto bitmap = MakeBitmap(width, height, 32);
        DibInfo info = MakeDibInfo(width, sign * height, 32);
        EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, height, words.data(), &info, 0), height);
        std::vector<uint32_t> back(words.size());
        EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, height, back.data(), &info, 0), height);
        EXPECT_EQ(back, words);
        // The bitmap itself always holds the top row first.
        const size_t topRow = sign < 0 ? 0 : size_t(height - 1) * width;
        EXPECT_EQ(BitmapWord(bitmap.get(), 0, 0), words[topRow]);
    }
}

TEST(DibRoundTrip, TwentyFourBitBitmapKeepsTheColourChannels)
{
    std::mt19937 random(99);
    const int32_t width = 13, height = 7;
    std::vector<uint32_t> words(size_t(width * height));
    for (auto& w : words) w = static_cast<uint32_t>(random());
    auto bitmap = MakeBitmap(width, height, 24);
    DibInfo info = MakeDibInfo(width, -height, 32);
    EXPECT_EQ(SetDIBits(nullptr, bitmap.get(), 0, height, words.data(), &info, 0), height);
    std::vector<uint32_t> back(words.size());
    EXPECT_EQ(GetDIBits(nullptr, bitmap.get(), 0, height, back.data(), &info, 0), height);
    for (size_t i = 0; i < words.size(); ++i) ASSERT_EQ(back[i], words[i] & 0xFFFFFF) << i;
}

}  // namespace

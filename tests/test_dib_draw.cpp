// Drawing DIBs into the bitmap selected in a device context: unscaled and
// stretched, clipped to the target, from any row order and depth.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/dib_buffers.h"

namespace {

using qv::gfx::DibInfo;
using qv::gfx::kSrcCopy;
using qv::gfx::SetDIBitsToDevice;
using qv::gfx::StretchDIBits;
using qv::test::BitmapHandle;
using qv::test::BitmapRow;
using qv::test::BitmapWord;
using qv::test::DcHandle;
using qv::test::MakeBitmap;
using qv::test::MakeDibInfo;
using qv::test::SetBitmapWord;

constexpr uint32_t kUntouched = 0x11111111;

// A 32-bit target filled with kUntouched, selected into its own DC.
struct Target {
    Target(int32_t width, int32_t height, int32_t depth = 32)
        : bitmap(MakeBitmap(width, height, depth)), dc(CreateHostDC(bitmap.get()))
    {
        std::memset(GetHostBitmapBits(bitmap.get()), 0x11,
                    size_t(GetHostBitmapStride(bitmap.get())) * size_t(height));
    }
    uint32_t At(int32_t x, int32_t y) const { return BitmapWord(bitmap.get(), x, y); }
    BitmapHandle bitmap;
    DcHandle dc;
};

// A 32-bit DIB whose pixel at picture (x, y) (y from the top) is x << 12 | y.
struct CoordinateDib {
    CoordinateDib(int32_t width, int32_t height, bool bottomUp)
        : info(MakeDibInfo(width, bottomUp ? height : -height, 32)), words(size_t(width) * size_t(height))
    {
        for (int32_t y = 0; y < height; ++y) {
            const int32_t memoryRow = bottomUp ? height - 1 - y : y;
            for (int32_t x = 0; x < width; ++x) words[size_t(memoryRow) * width + x] = Word(x, y);
        }
    }
    static uint32_t Word(int32_t x, int32_t y) { return uint32_t(x) << 12 | uint32_t(y); }
    DibInfo info;
    std::vector<uint32_t> words;
};

// 3x2 bottom-up 24-bit DIB: picture row 0 is 0x131211 0x161514 0x191817,
// row 1 is 0x030201 0x060504 0x090807.
struct SmallDib {
    DibInfo info = MakeDibInfo(3, 2, 24);
    uint8_t bits[24] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0, 0, 0,
                        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0, 0, 0};
};

int32_t Draw(Target& t, int32_t x, int32_t y, const SmallDib& dib)
{
    return SetDIBitsToDevice(t.dc.get(), x, y, 3, 2, 0, 0, 0, 2, dib.bits, &dib.info, 0);
}

// ---- unscaled ----

TEST(DibDrawUnscaled, PlacesTheDibAtTheDestination)
{
    Target t(6, 5);
    SmallDib dib;
    EXPECT_EQ(Draw(t, 2, 1, dib), 2);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x) {
            uint32_t expected = kUntouched;
            if (y == 1 && x >= 2 && x < 5) expected = 0x131211u + 0x030303u * uint32_t(x - 2);
            if (y == 2 && x >= 2 && x < 5) expected = 0x030201u + 0x030303u * uint32_t(x - 2);
            EXPECT_EQ(t.At(x, y), expected) << x << "," << y;
        }
}

TEST(DibDrawUnscaled, ClipsAtEveryEdge)
{
    Target t(6, 5);
    SmallDib dib;
    EXPECT_EQ(Draw(t, -1, -1, dib), 1);
    EXPECT_EQ(t.At(0, 0), 0x060504u);
    EXPECT_EQ(t.At(1, 0), 0x090807u);
    EXPECT_EQ(t.At(2, 0), kUntouched);
    EXPECT_EQ(t.At(0, 1), kUntouched);

    EXPECT_EQ(Draw(t, 5, 4, dib), 1);
    EXPECT_EQ(t.At(5, 4), 0x131211u);
    EXPECT_EQ(t.At(4, 4), kUntouched);

    EXPECT_EQ(Draw(t, 6, 0, dib), 0);
    EXPECT_EQ(Draw(t, 0, 5, dib), 0);
    EXPECT_EQ(Draw(t, -3, 0, dib), 0);
    EXPECT_EQ(Draw(t, INT32_MIN, INT32_MIN, dib), 0);
    EXPECT_EQ(Draw(t, INT32_MAX, INT32_MAX, dib), 0);
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 6; ++x)
            if (!(x < 2 && y == 0) && !(x == 5 && y == 4)) {
                EXPECT_EQ(t.At(x, y), kUntouched) << x << "," << y;
            }
}

TEST(DibDrawUnscaled, SourceCornerIsLowerLeftForBottomUpDibs)
{
    CoordinateDib up(4, 4, true);
    Target t(2, 2);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 2, 2, 1, 0, 0, 4, up.words.data(), &up.info, 0), 2);
    EXPECT_EQ(t.At(0, 0), CoordinateDib::Word(1, 2));
    EXPECT_EQ(t.At(1, 1), CoordinateDib::Word(2, 3));

    CoordinateDib down(4, 4, false);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 2, 2, 1, 0, 0, 4, down.words.data(), &down.info, 0), 2);
    EXPECT_EQ(t.At(0, 0), CoordinateDib::Word(1, 0));
    EXPECT_EQ(t.At(1, 1), CoordinateDib::Word(2, 1));
}

TEST(DibDrawUnscaled, TopDownFrameWithNegativeHeightArguments)
{
    // A top-down frame drawn with its stored (negative) height as the size
    // and the scan-line count.
    CoordinateDib frame(3, 2, false);
    Target t(4, 3);
    const auto h = static_cast<uint32_t>(frame.info.header.biHeight);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 3, h, 0, 0, 0, h, frame.words.data(), &frame.info, 0), 2);
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(t.At(x, y), CoordinateDib::Word(x, y));
    EXPECT_EQ(t.At(3, 0), kUntouched);
    EXPECT_EQ(t.At(0, 2), kUntouched);
}

TEST(DibDrawUnscaled, DrawsOnlyTheScanLinesHandedIn)
{
    CoordinateDib whole(2, 4, true);
    // Scan lines 1 and 2 of the bottom-up DIB: picture rows 2 and 1.
    std::vector<uint32_t> band(whole.words.begin() + 2, whole.words.begin() + 6);
    Target t(2, 4);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 2, 4, 0, 0, 1, 2, band.data(), &whole.info, 0), 2);
    EXPECT_EQ(t.At(0, 0), kUntouched);
    EXPECT_EQ(t.At(1, 1), CoordinateDib::Word(1, 1));
    EXPECT_EQ(t.At(0, 2), CoordinateDib::Word(0, 2));
    EXPECT_EQ(t.At(1, 3), kUntouched);
}

TEST(DibDrawUnscaled, PaletteDibsIntoEveryTargetDepth)
{
    DibInfo info = MakeDibInfo(3, 1, 8);
    info.header.biClrUsed = 3;
    info.colors[0] = {0x00, 0x00, 0xFF, 0};  // red
    info.colors[1] = {0xFF, 0xFF, 0xFF, 0};
    info.colors[2] = {0x33, 0x66, 0x99, 0};
    const uint8_t indices[4] = {2, 1, 0, 0};

    Target rgb(3, 1);
    EXPECT_EQ(SetDIBitsToDevice(rgb.dc.get(), 0, 0, 3, 1, 0, 0, 0, 1, indices, &info, 0), 1);
    EXPECT_EQ(rgb.At(0, 0), 0x996633u);
    EXPECT_EQ(rgb.At(1, 0), 0xFFFFFFu);
    EXPECT_EQ(rgb.At(2, 0), 0xFF0000u);

    Target indexed(3, 1, 8);
    EXPECT_EQ(SetDIBitsToDevice(indexed.dc.get(), 0, 0, 3, 1, 0, 0, 0, 1, indices, &info, 0), 1);
    const uint8_t* row = BitmapRow(indexed.bitmap.get(), 0);
    EXPECT_EQ(row[0], 36 * 3 + 6 * 2 + 1);
    EXPECT_EQ(row[1], 215);
    EXPECT_EQ(row[2], 180);
}

TEST(DibDrawUnscaled, RefusesWithoutATargetOrPixels)
{
    SmallDib dib;
    DcHandle empty(CreateHostDC(nullptr));
    EXPECT_EQ(SetDIBitsToDevice(empty.get(), 0, 0, 3, 2, 0, 0, 0, 2, dib.bits, &dib.info, 0), 0);
    EXPECT_EQ(SetDIBitsToDevice(nullptr, 0, 0, 3, 2, 0, 0, 0, 2, dib.bits, &dib.info, 0), 0);
    Target t(3, 2);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 3, 2, 0, 0, 0, 2, nullptr, &dib.info, 0), 0);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 3, 2, 0, 0, 0, 2, dib.bits, nullptr, 0), 0);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 0, 2, 0, 0, 0, 2, dib.bits, &dib.info, 0), 0);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 3, 0, 0, 0, 0, 2, dib.bits, &dib.info, 0), 0);
    EXPECT_EQ(SetDIBitsToDevice(t.dc.get(), 0, 0, 3, 2, 0, 0, 0, 2, dib.bits, &dib.info, 1), 0);
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(t.At(x, 0), kUntouched);
}

// ---- stretched ----

class StretchedFrame : public testing::Test {
protected:
    CoordinateDib frame_{321, 241, true};

    int32_t Stretch(Target& t, int32_t width, int32_t height)
    {
        return StretchDIBits(t.dc.get(), 0, 0, width, height, 0, 0, 321, 241, frame_.words.data(),
                             &frame_.info, 0, kSrcCopy);
    }
};

TEST_F(StretchedFrame, HalfSizeDropsRowsAndColumns)
{
    Target t(160, 120);
    EXPECT_EQ(Stretch(t, 160, 120), 120);
    EXPECT_EQ(t.At(0, 0), CoordinateDib::Word(0, 0));
    EXPECT_EQ(t.At(1, 1), CoordinateDib::Word(2, 2));
    EXPECT_EQ(t.At(80, 60), CoordinateDib::Word(160, 120));   // 160.5, 120.5
    EXPECT_EQ(t.At(100, 100), CoordinateDib::Word(200, 200)); // 200.6, 200.8
    EXPECT_EQ(t.At(159, 119), CoordinateDib::Word(318, 238)); // 318.99, 238.99
}

TEST_F(StretchedFrame, DoubleSizeRepeatsEachPixelAndClipsToTheTarget)
{
    Target t(400, 300);
    EXPECT_EQ(Stretch(t, 642, 482), 300);
    for (int32_t y = 0; y < 300; ++y)
        for (int32_t x = 0; x < 400; ++x) ASSERT_EQ(t.At(x, y), CoordinateDib::Word(x / 2, y / 2)) << x << "," << y;
}

TEST_F(StretchedFrame, DoubleSizeInALargerTargetLeavesTheRest)
{
    Target t(700, 500);
    EXPECT_EQ(Stretch(t, 642, 482), 482);
    EXPECT_EQ(t.At(641, 481), CoordinateDib::Word(320, 240));
    EXPECT_EQ(t.At(640, 0), CoordinateDib::Word(320, 0));
    EXPECT_EQ(t.At(642, 0), kUntouched);
    EXPECT_EQ(t.At(0, 482), kUntouched);
    EXPECT_EQ(t.At(699, 499), kUntouched);
}

TEST_F(StretchedFrame, EveryStretchModeDrawsTheSamePixels)
{
    Target blackOnWhite(200, 150);
    Target colorOnColor(200, 150);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(colorOnColor.dc.get(), qv::gfx::kColorOnColor), 1);
    EXPECT_EQ(Stretch(blackOnWhite, 200, 150), 150);
    EXPECT_EQ(Stretch(colorOnColor, 200, 150), 150);
    EXPECT_EQ(GetHostStretchMode(blackOnWhite.dc.get()), 1);
    EXPECT_EQ(GetHostStretchMode(colorOnColor.dc.get()), 3);
    EXPECT_EQ(0, std::memcmp(GetHostBitmapBits(blackOnWhite.bitmap.get()),
                             GetHostBitmapBits(colorOnColor.bitmap.get()), 200 * 150 * 4));
}

TEST_F(StretchedFrame, EmptyOrMirroredSizesAndOtherRopsDrawNothing)
{
    Target t(4, 4);
    EXPECT_EQ(Stretch(t, 0, 10), 0);
    EXPECT_EQ(Stretch(t, 10, 0), 0);
    EXPECT_EQ(Stretch(t, -4, 4), 0);
    EXPECT_EQ(Stretch(t, 4, -4), 0);
    EXPECT_EQ(StretchDIBits(t.dc.get(), 0, 0, 4, 4, 0, 0, -321, 241, frame_.words.data(), &frame_.info, 0,
                            kSrcCopy), 0);
    EXPECT_EQ(StretchDIBits(t.dc.get(), 0, 0, 4, 4, 0, 0, 321, 0, frame_.words.data(), &frame_.info, 0,
                            kSrcCopy), 0);
    EXPECT_EQ(StretchDIBits(t.dc.get(), 0, 0, 4, 4, 0, 0, 321, 241, frame_.words.data(), &frame_.info, 0,
                            0x00EE0086), 0);  // SRCPAINT
    EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 4, 4, 0, 0, 321, 241, frame_.words.data(), &frame_.info, 0,
                            kSrcCopy), 0);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(t.At(x, y), kUntouched);
}

TEST(DibDrawStretched, SourceRectangleAndNegativeDestination)
{
    CoordinateDib up(4, 4, true);
    Target t(4, 4);
    // Lower-left corner (1, 0) of a bottom-up DIB: picture rows 2-3, columns 1-2, doubled.
    EXPECT_EQ(StretchDIBits(t.dc.get(), 0, 0, 4, 4, 1, 0, 2, 2, up.words.data(), &up.info, 0, kSrcCopy), 4);
    EXPECT_EQ(t.At(0, 0), CoordinateDib::Word(1, 2));
    EXPECT_EQ(t.At(1, 1), CoordinateDib::Word(1, 2));
    EXPECT_EQ(t.At(2, 1), CoordinateDib::Word(2, 2));
    EXPECT_EQ(t.At(3, 3), CoordinateDib::Word(2, 3));

    CoordinateDib down(4, 4, false);
    Target u(6, 6);
    EXPECT_EQ(StretchDIBits(u.dc.get(), -3, -3, 8, 8, 0, 0, 4, 4, down.words.data(), &down.info, 0, kSrcCopy), 5);
    EXPECT_EQ(u.At(0, 0), CoordinateDib::Word(1, 1));
    EXPECT_EQ(u.At(1, 0), CoordinateDib::Word(2, 1));
    EXPECT_EQ(u.At(4, 4), CoordinateDib::Word(3, 3));
    EXPECT_EQ(u.At(5, 5), kUntouched);
    EXPECT_EQ(u.At(5, 0), kUntouched);
}

TEST(DibDrawStretched, HugeSizesStayInRange)
{
    CoordinateDib down(4, 4, false);
    Target t(3, 3);
    EXPECT_EQ(StretchDIBits(t.dc.get(), 0, 0, INT32_MAX, INT32_MAX, 0, 0, 2, 2, down.words.data(), &down.info, 0,
                            kSrcCopy), 3);
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(t.At(x, y), CoordinateDib::Word(0, 0));

    Target u(3, 3);
    // Offset 1 already maps far past the DIB: only column and row 0 exist.
    EXPECT_EQ(StretchDIBits(u.dc.get(), 0, 0, 3, 3, 0, 0, INT32_MAX, INT32_MAX, down.words.data(), &down.info, 0,
                            kSrcCopy), 1);
    EXPECT_EQ(u.At(0, 0), CoordinateDib::Word(0, 0));
    EXPECT_EQ(u.At(1, 0), kUntouched);
    EXPECT_EQ(u.At(0, 1), kUntouched);

    Target w(3, 3);
    EXPECT_EQ(StretchDIBits(w.dc.get(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MAX, 4, 4,
                            down.words.data(), &down.info, 0, kSrcCopy), 0);
}

TEST(DibDrawStretched, IntoPaletteTargets)
{
    Target indexed(4, 2, 8);
    DibInfo info = MakeDibInfo(2, -1, 8);
    const uint32_t* palette = GetHostBitmapPalette(indexed.bitmap.get());
    for (int i = 0; i < 256; ++i)
        info.colors[i] = {uint8_t(palette[i]), uint8_t(palette[i] >> 8), uint8_t(palette[i] >> 16), 0};
    const uint8_t indices[4] = {250, 17, 0, 0};
    EXPECT_EQ(StretchDIBits(indexed.dc.get(), 0, 0, 4, 2, 0, 0, 2, 1, indices, &info, 0, kSrcCopy), 2);
    for (int32_t y = 0; y < 2; ++y) {
        const uint8_t* row = BitmapRow(indexed.bitmap.get(), y);
        EXPECT_EQ(row[0], 250);
        EXPECT_EQ(row[1], 250);
        EXPECT_EQ(row[2], 17);
        EXPECT_EQ(row[3], 17);
    }

    Target mono(5, 1, 1);
    DibInfo rgb = MakeDibInfo(3, 1, 24);
    const uint8_t pixels[12] = {0xF0, 0xF0, 0xF0, 0x10, 0x10, 0x10, 0x90, 0x80, 0x80, 0, 0, 0};
    EXPECT_EQ(StretchDIBits(mono.dc.get(), 0, 0, 5, 1, 0, 0, 3, 1, pixels, &rgb, 0, kSrcCopy), 1);
    // Source columns 0, 0, 1, 1, 2: white, white, black, black, white.
    EXPECT_EQ(BitmapRow(mono.bitmap.get(), 0)[0] & 0xF8, 0xC8);
}

}  // namespace

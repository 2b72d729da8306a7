// GetDIBits into image-library bitmaps, as the GIF writer and the still
// export call it: FreeImage's own BITMAPINFO (bottom-up, its depth, a
// 16-bit header with BI_BITFIELDS and no masks) and pixel buffer. The
// results are read back through FreeImage's pixel access and through a BMP
// file decoded by ImageMagick.
#include <gtest/gtest.h>

#include <FreeImage.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/dib_buffers.h"
#include "support/scratch_files.h"
#include "support/shell_run.h"

namespace {

using qv::test::BitmapHandle;
using qv::test::MakeBitmap;
using qv::test::SetBitmapWord;

constexpr int32_t kWidth = 5;
constexpr int32_t kHeight = 3;

// Colours each depth holds exactly: in the standard palette of that depth,
// or unchanged by the 5-bit round trip (0 and 255 only).
std::vector<uint32_t> ExactColours(int32_t depth)
{
    switch (depth) {
    case 1: return {0x000000, 0xFFFFFF};
    case 4: return {0x000000, 0x800000, 0x008080, 0xC0C0C0, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    case 8: return {0x000000, 0x33CC99, 0xFF0000, 0x838383, 0x0066FF, 0xF9F9F9, 0xFFFFFF};
    case 16: return {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFFFFFF};
    default: return {0x123456, 0xFEDCBA, 0x000000, 0xFFFFFF, 0x0F1E2D, 0xA0B0C0, 0x010203};
    }
}

uint32_t ColourAt(int32_t depth, int32_t x, int32_t y)
{
    const std::vector<uint32_t> colours = ExactColours(depth);
    return colours[size_t(x * 7 + y * 3) % colours.size()];
}

struct FreeImageDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using FreeImagePtr = std::unique_ptr<FIBITMAP, FreeImageDeleter>;

// The host picture, read into a FreeImage bitmap of `depth` bits.
FreeImagePtr ReadIntoFreeImage(int32_t depth, int32_t* rows)
{
    BitmapHandle host = MakeBitmap(kWidth, kHeight, 32);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) SetBitmapWord(host.get(), x, y, 0xEE000000u | ColourAt(depth, x, y));
    qv::test::DcHandle dc(CreateHostDC(host.get()));
    FreeImagePtr dib(FreeImage_Allocate(kWidth, kHeight, depth, 0, 0, 0));
    if (!dib) return dib;
    *rows = qv::gfx::GetDIBits(dc.get(), host.get(), 0, kHeight, FreeImage_GetBits(dib.get()),
                               FreeImage_GetInfo(dib.get()), qv::gfx::kDibRgbColors);
    return dib;
}

class FreeImageTarget : public testing::TestWithParam<int32_t> {};

TEST_P(FreeImageTarget, PixelsLandBottomUpInTheLibrarysLayout)
{
    const int32_t depth = GetParam();
    int32_t rows = 0;
    FreeImagePtr dib = ReadIntoFreeImage(depth, &rows);
    ASSERT_TRUE(dib);
    EXPECT_EQ(rows, kHeight);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            RGBQUAD c{};
            // FreeImage numbers scan lines from the bottom.
            const auto line = unsigned(kHeight - 1 - y);
            if (depth <= 8) {
                BYTE index = 0;
                ASSERT_TRUE(FreeImage_GetPixelIndex(dib.get(), unsigned(x), line, &index));
                ASSERT_LT(index, FreeImage_GetColorsUsed(dib.get()));
                c = FreeImage_GetPalette(dib.get())[index];
            } else {
                ASSERT_TRUE(FreeImage_GetPixelColor(dib.get(), unsigned(x), line, &c));
            }
            const uint32_t rgb = uint32_t{c.rgbRed} << 16 | uint32_t{c.rgbGreen} << 8 | c.rgbBlue;
            EXPECT_EQ(rgb, ColourAt(depth, x, y)) << "depth " << depth << " at " << x << "," << y;
            if (depth == 32) {
                EXPECT_EQ(c.rgbReserved, 0xEE);
            }
        }
}

TEST_P(FreeImageTarget, ImageMagickDecodesTheSameColoursFromABmp)
{
    const int32_t depth = GetParam();
    int32_t rows = 0;
    FreeImagePtr dib = ReadIntoFreeImage(depth, &rows);
    ASSERT_TRUE(dib);
    const std::string file = qv::test::ScratchPath("depth" + std::to_string(depth) + ".bmp");
    ASSERT_TRUE(FreeImage_Save(FIF_BMP, dib.get(), file.c_str(), 0));
    const std::string rgb = qv::test::ShellOutput("convert " + qv::test::ShellQuote(file) + " -depth 8 rgb:- 2>/dev/null");
    ASSERT_EQ(rgb.size(), size_t(kWidth * kHeight * 3)) << "depth " << depth;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const size_t at = size_t(y * kWidth + x) * 3;
            const uint32_t decoded = uint32_t(uint8_t(rgb[at])) << 16 | uint32_t(uint8_t(rgb[at + 1])) << 8 |
                                     uint8_t(rgb[at + 2]);
            EXPECT_EQ(decoded, ColourAt(depth, x, y)) << "depth " << depth << " at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, FreeImageTarget, testing::Values(1, 4, 8, 16, 24, 32));

TEST(FreeImageTarget16, ChannelsAreFiveFiveFiveForTheLibrarysWidening)
{
    BitmapHandle host = MakeBitmap(2, 1, 32);
    SetBitmapWord(host.get(), 0, 0, 0x00123456);
    SetBitmapWord(host.get(), 1, 0, 0x00FFFFFF);
    qv::test::DcHandle dc(CreateHostDC(host.get()));
    FreeImagePtr dib(FreeImage_Allocate(2, 1, 16, 0, 0, 0));
    ASSERT_EQ(qv::gfx::GetDIBits(dc.get(), host.get(), 0, 1, FreeImage_GetBits(dib.get()),
                                 FreeImage_GetInfo(dib.get()), 0), 1);
    FreeImagePtr wide(FreeImage_ConvertTo24Bits(dib.get()));
    ASSERT_TRUE(wide);
    const BYTE* line = FreeImage_GetScanLine(wide.get(), 0);
    // 0x12, 0x34, 0x56 keep 2, 6, 10 of 31: 16, 49, 82.
    EXPECT_EQ(line[FI_RGBA_RED], 0x10);
    EXPECT_EQ(line[FI_RGBA_GREEN], 0x31);
    EXPECT_EQ(line[FI_RGBA_BLUE], 0x52);
    EXPECT_EQ(line[3 + FI_RGBA_RED], 0xFF);
}

}  // namespace

// Pictures with alpha laid over the background colour: every alpha value
// 0..255 against every colour value 0..255, on three backgrounds. The
// command rounds to the nearest (c * a + bg * (255 - a)) / 255, halves up;
// FreeImage_Composite, the image library's own way to flatten, gives other
// pixels (lower by up to 2 in 509,672 of the 589,824 channel values here),
// which is why the loader keeps its own loop.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "picture_loading.h"

namespace {

constexpr uint32_t kBackgrounds[] = {0x000000, 0xFFFFFF, 0x3C8AF0};

// Row a is alpha a; column c has red c, green 255 - c, blue (c * 7) mod 256.
std::vector<uint8_t> AlphaRamp()
{
    std::vector<uint8_t> rgba(256 * 256 * 4);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            uint8_t* px = &rgba[(static_cast<std::size_t>(a) * 256 + static_cast<std::size_t>(c)) * 4];
            px[0] = static_cast<uint8_t>(c);
            px[1] = static_cast<uint8_t>(255 - c);
            px[2] = static_cast<uint8_t>(c * 7);
            px[3] = static_cast<uint8_t>(a);
        }
    return rgba;
}

uint32_t Rounded(uint32_t colour, uint32_t alpha, uint32_t background)
{
    return (colour * alpha + background * (255 - alpha) + 127) / 255;
}

TEST(PictureAlpha, EveryAlphaAndColourRoundsToTheNearest)
{
    const std::vector<uint8_t> rgba = AlphaRamp();
    for (const uint32_t background : kBackgrounds) {
        const qvcli::InputPicture picture =
            qvcli::InputPicture::FromPixels("ramp", 256, 256, 4, rgba.data(), 256 * 4, background);
        const qvcli::HostPicture host = picture.ToHost({256, 256});
        int wrong = 0;
        for (int a = 0; a < 256; ++a)
            for (int c = 0; c < 256; ++c) {
                const uint8_t* px = &rgba[(static_cast<std::size_t>(a) * 256 + static_cast<std::size_t>(c)) * 4];
                const uint32_t expected = Rounded(px[0], px[3], background >> 16 & 0xFF) << 16 |
                                          Rounded(px[1], px[3], background >> 8 & 0xFF) << 8 |
                                          Rounded(px[2], px[3], background & 0xFF);
                if ((host.row(a)[c] & 0xFFFFFF) != expected && ++wrong <= 5)
                    ADD_FAILURE() << "alpha " << a << " colour " << c << " on " << std::hex << background << ": "
                                  << (host.row(a)[c] & 0xFFFFFF) << " instead of " << expected;
            }
        EXPECT_EQ(wrong, 0);
    }
}

// The measurement behind keeping the loop: FreeImage_Composite gives other
// pixels, never higher, up to 2 lower. Should FreeImage ever round as the
// loader does, this fails and the loader can use it.
TEST(PictureAlpha, FreeImageCompositeTruncatesWhereTheLoaderRounds)
{
    const std::vector<uint8_t> rgba = AlphaRamp();
    std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)> foreground(FreeImage_Allocate(256, 256, 32), FreeImage_Unload);
    ASSERT_TRUE(foreground);
    for (int a = 0; a < 256; ++a) {
        BYTE* line = FreeImage_GetScanLine(foreground.get(), a);
        for (int c = 0; c < 256; ++c) {
            const uint8_t* px = &rgba[(static_cast<std::size_t>(a) * 256 + static_cast<std::size_t>(c)) * 4];
            line[c * 4 + FI_RGBA_RED] = px[0];
            line[c * 4 + FI_RGBA_GREEN] = px[1];
            line[c * 4 + FI_RGBA_BLUE] = px[2];
            line[c * 4 + FI_RGBA_ALPHA] = px[3];
        }
    }
    long differing = 0, lower = 0, higher = 0;
    int largest = 0;
    for (const uint32_t background : kBackgrounds) {
        RGBQUAD colour{};
        colour.rgbRed = static_cast<BYTE>(background >> 16);
        colour.rgbGreen = static_cast<BYTE>(background >> 8);
        colour.rgbBlue = static_cast<BYTE>(background);
        std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)> flat(FreeImage_Composite(foreground.get(), FALSE, &colour, nullptr),
                                                            FreeImage_Unload);
        ASSERT_TRUE(flat);
        ASSERT_EQ(FreeImage_GetBPP(flat.get()), 24u);
        for (int a = 0; a < 256; ++a) {
            const BYTE* line = FreeImage_GetScanLine(flat.get(), a);
            for (int c = 0; c < 256; ++c) {
                const uint8_t* px = &rgba[(static_cast<std::size_t>(a) * 256 + static_cast<std::size_t>(c)) * 4];
                const int channels[3][3] = {{FI_RGBA_RED, px[0], colour.rgbRed},
                                            {FI_RGBA_GREEN, px[1], colour.rgbGreen},
                                            {FI_RGBA_BLUE, px[2], colour.rgbBlue}};
                for (const auto& [at, value, bg] : channels) {
                    const int ours = static_cast<int>(Rounded(static_cast<uint32_t>(value), static_cast<uint32_t>(a),
                                                              static_cast<uint32_t>(bg)));
                    const int theirs = line[c * 3 + at];
                    if (theirs == ours) continue;
                    ++differing;
                    if (theirs < ours) ++lower;
                    if (theirs > ours) ++higher;
                    largest = std::max(largest, std::abs(ours - theirs));
                }
            }
        }
    }
    std::printf("FreeImage_Composite: %ld of %d channel values differ (%ld lower, %ld higher, by up to %d)\n",
                differing, 3 * 3 * 256 * 256, lower, higher, largest);
    EXPECT_GT(differing, 0);
}

}  // namespace

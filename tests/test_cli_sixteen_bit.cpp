// Pictures of 16 bits a sample as the command loads them: grey, grey with
// alpha, RGB and RGBA PNGs written by ImageMagick come out as ImageMagick's
// own 8-bit conversion (`-depth 8`), sample for sample.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <filesystem>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "picture_loading.h"
#include "sixteen_bit_pictures.h"
#include "support/cli_run.h"

namespace {

using FreeImagePtr = std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)>;

// ImageMagick's raw 8-bit samples of `picture` in `map` order ("gray",
// "rgb", "rgba"), rows from the top.
std::string ImageMagickEightBit(const std::filesystem::path& picture, const std::string& map)
{
    int status = 0;
    const std::string bytes = qv::test::ShellOutput("convert " + qv::test::ShellQuote(picture.string()) + " -depth 8 " +
                                                      map + ":- 2>/dev/null", &status);
    EXPECT_EQ(0, status);
    return bytes;
}

// The samples of an 8-, 24- or 32-bit FreeImage bitmap in ImageMagick's
// order: rows from the top, red, green, blue, alpha.
std::string Samples(FIBITMAP* bitmap)
{
    const int w = static_cast<int>(FreeImage_GetWidth(bitmap)), h = static_cast<int>(FreeImage_GetHeight(bitmap));
    const unsigned bpp = FreeImage_GetBPP(bitmap);
    std::string out;
    for (int y = h - 1; y >= 0; --y) {
        const BYTE* row = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < w; ++x) {
            if (bpp == 8) {
                out += static_cast<char>(row[x]);
                continue;
            }
            const BYTE* p = row + x * (bpp / 8);
            out += static_cast<char>(p[FI_RGBA_RED]);
            out += static_cast<char>(p[FI_RGBA_GREEN]);
            out += static_cast<char>(p[FI_RGBA_BLUE]);
            if (bpp == 32) out += static_cast<char>(p[FI_RGBA_ALPHA]);
        }
    }
    return out;
}

class SixteenBitPictures : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Gradients between levels that are not multiples of 257, so that
        // rounding, truncating and stretching all give different samples.
        const std::string grey = "-size 37x23 gradient:'gray(12%)'-'gray(71%)'";
        const std::string alpha = "\\( -size 37x23 gradient:'gray(90%)'-'gray(20%)' \\) -alpha off -compose CopyOpacity -composite";
        const std::string colour = "-seed 7 -size 37x23 plasma:";
        const std::pair<const char*, std::string> pictures[] = {
            {"grey16.png", grey + " -depth 16 -define png:color-type=0"},
            {"greyalpha16.png", grey + " " + alpha + " -depth 16 -define png:color-type=4"},
            {"rgb16.png", colour + " -depth 16 -define png:color-type=2"},
            {"rgba16.png", colour + " " + alpha + " -depth 16 -define png:color-type=6"},
        };
        for (const auto& [name, args] : pictures) {
            int status = 0;
            qv::test::ShellOutput("convert " + args + " " + qv::test::ShellQuote((dir_->path() / name).string()), &status);
            ASSERT_EQ(0, status) << name;
        }
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static std::filesystem::path Path(const std::string& name) { return dir_->path() / name; }
    static FreeImagePtr Load(const std::string& name)
    {
        return FreeImagePtr(FreeImage_Load(FIF_PNG, Path(name).c_str(), 0), FreeImage_Unload);
    }
    static inline qv::test::ScratchDir* dir_ = new qv::test::ScratchDir("sixteen-bit");
};

TEST(SixteenBitSamples, DivideBy257AsImageMagickDoes)
{
    EXPECT_EQ(0, qvcli::NarrowSample(0));
    EXPECT_EQ(0, qvcli::NarrowSample(256));
    EXPECT_EQ(1, qvcli::NarrowSample(257));
    EXPECT_EQ(57, qvcli::NarrowSample(14894));  // 0x3A2E: the top byte would be 58
    EXPECT_EQ(127, qvcli::NarrowSample(0x7FFF));
    EXPECT_EQ(127, qvcli::NarrowSample(0x8000));
    EXPECT_EQ(254, qvcli::NarrowSample(65534));
    EXPECT_EQ(255, qvcli::NarrowSample(65535));
    EXPECT_EQ(0, qvcli::NarrowAlpha(0));
    EXPECT_EQ(1, qvcli::NarrowAlpha(1));
    EXPECT_EQ(230, qvcli::NarrowAlpha(58982));  // 90 %: 229.5 up
    EXPECT_EQ(255, qvcli::NarrowAlpha(65279));
    EXPECT_EQ(255, qvcli::NarrowAlpha(65535));
    for (unsigned v = 0; v < 256; ++v) {
        EXPECT_EQ(v, qvcli::NarrowSample(static_cast<uint16_t>(v * 257))) << v;
        EXPECT_EQ(v, qvcli::NarrowAlpha(static_cast<uint16_t>(v * 257))) << v;
    }
}

TEST_F(SixteenBitPictures, EveryKindEqualsImageMagicksEightBitConversion)
{
    const std::tuple<const char*, FREE_IMAGE_TYPE, const char*, size_t> cases[] = {
        {"grey16.png", FIT_UINT16, "gray", 1},
        {"greyalpha16.png", FIT_RGBA16, "rgba", 4},  // FreeImage widens grey with alpha to RGBA
        {"rgb16.png", FIT_RGB16, "rgb", 3},
        {"rgba16.png", FIT_RGBA16, "rgba", 4},
    };
    for (const auto& [name, type, map, channels] : cases) {
        SCOPED_TRACE(name);
        const FreeImagePtr loaded = Load(name);
        ASSERT_TRUE(loaded);
        ASSERT_EQ(type, FreeImage_GetImageType(loaded.get()));
        const FreeImagePtr narrow(qvcli::NarrowSixteenBitPicture(loaded.get()), FreeImage_Unload);
        ASSERT_TRUE(narrow);
        const std::string want = ImageMagickEightBit(Path(name), map);
        ASSERT_EQ(size_t(37 * 23) * channels, want.size());
        EXPECT_EQ(want, Samples(narrow.get()));
    }
}

TEST_F(SixteenBitPictures, OtherTypesAreLeftToTheCaller)
{
    FreeImagePtr eight(FreeImage_Allocate(3, 2, 24), FreeImage_Unload);
    EXPECT_EQ(nullptr, qvcli::NarrowSixteenBitPicture(eight.get()));
    FreeImagePtr floats(FreeImage_AllocateT(FIT_FLOAT, 3, 2), FreeImage_Unload);
    EXPECT_EQ(nullptr, qvcli::NarrowSixteenBitPicture(floats.get()));
}

// The grey picture reaches the renderer with ImageMagick's levels, not
// stretched to its own brightest sample.
TEST_F(SixteenBitPictures, TheCommandLoadsGreyAtItsOwnLevels)
{
    const qvcli::InputPicture picture = qvcli::InputPicture::Open(Path("grey16.png").string(), 0);
    const qvcli::HostPicture host = picture.ToHost(picture.size());
    const std::string want = ImageMagickEightBit(Path("grey16.png"), "gray");
    ASSERT_EQ(size_t(37 * 23), want.size());
    std::string got;
    for (int y = 0; y < host.height(); ++y)
        for (int x = 0; x < host.width(); ++x) {
            const uint32_t p = host.row(y)[x];
            EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
            got += static_cast<char>(p & 0xFF);
        }
    EXPECT_EQ(want, got);
}

}  // namespace

// SaveToFreeImage as an outside host uses it. What it writes is read back
// with ImageMagick and libtiff's tools, and the files' own headers are
// checked for the depth each format and picture depth must give.
#include <gtest/gtest.h>
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/host_picture.h"
#include "support/scratch_files.h"
#include "support/shell_run.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qv::test::HostPicture;

int32_t Save(const HostPicture& picture, int32_t depth, const std::string& path, int32_t format, int32_t flags = 0)
{
    return SaveToFreeImage(picture.dc(), picture.bitmap(), picture.width(), picture.height(), depth, path.c_str(),
                           format, flags);
}

// Top row first, red green blue per pixel, as ImageMagick decodes the file.
Bytes DecodeRgb(const std::string& path)
{
    const auto run = qv::test::RunTool("convert '" + path + "' -depth 8 rgb:-");
    EXPECT_EQ(run.exitCode, 0) << path;
    return run.output;
}

std::string TiffInfo(const std::string& path, const char* options = "")
{
    return qv::test::RunTool(std::string("tiffinfo ") + options + " '" + path + "'").text();
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// PNG IHDR: bit depth and colour type (2 truecolour, 3 palette, 6 RGBA).
std::pair<int, int> PngDepthAndColourType(const Bytes& file)
{
    if (file.size() < 26 || std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8) != 0) return {-1, -1};
    return {file[24], file[25]};
}

// Component count from a JPEG's baseline or progressive frame header.
int JpegComponents(const Bytes& file)
{
    for (std::size_t i = 2; i + 9 < file.size(); ++i) {
        if (file[i] == 0xFF && (file[i + 1] == 0xC0 || file[i + 1] == 0xC2)) return file[i + 9];
    }
    return -1;
}

Bytes RgbOf(const std::vector<uint32_t>& colours)
{
    Bytes out;
    for (uint32_t c : colours) {
        out.insert(out.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
    return out;
}

// A 24-bit picture with every byte different from its neighbours.
std::vector<uint32_t> FillNoise(const HostPicture& picture, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint32_t> colours(static_cast<std::size_t>(picture.width() * picture.height()));
    for (auto& c : colours) c = static_cast<uint32_t>(random()) & 0xFFFFFFu;
    picture.fillRgb([&](int x, int y) { return colours[static_cast<std::size_t>(y * picture.width() + x)]; });
    return colours;
}

// An 8-bit picture with a colourful (not grey) palette and random indices;
// returns each pixel's colour.
std::vector<uint32_t> FillPalette(const HostPicture& picture, unsigned seed)
{
    std::mt19937 random(seed);
    for (int i = 0; i < 256; ++i) picture.palette()[i] = static_cast<uint32_t>(random()) & 0xFFFFFFu;
    std::vector<uint32_t> colours;
    picture.fillIndices([&](int, int) { return static_cast<uint8_t>(random()); });
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) colours.push_back(picture.palette()[picture.row(y)[x]]);
    return colours;
}

// ---- Format selector ----

TEST(StillExportFormat, EveryOtherSelectorSavesPng)
{
    HostPicture picture(7, 5, 24);
    const auto colours = FillNoise(picture, 1);
    for (int32_t format : {0, 1, 2, 3, 6, -1, 13, 0x10004}) {
        const std::string path = qv::test::ScratchPath("f" + std::to_string(format) + ".img");
        ASSERT_EQ(Save(picture, 24, path, format), 1) << format;
        EXPECT_EQ(PngDepthAndColourType(qv::test::ReadFileBytes(path)), std::make_pair(8, 2)) << format;
        EXPECT_EQ(DecodeRgb(path), RgbOf(colours)) << format;
    }
}

TEST(StillExportFormat, FourIsJpegAndFiveIsTiff)
{
    HostPicture picture(8, 8, 24);
    FillNoise(picture, 2);
    const std::string jpeg = qv::test::ScratchPath("x.jpg"), tiff = qv::test::ScratchPath("x.tif");
    ASSERT_EQ(Save(picture, 24, jpeg, 4), 1);
    ASSERT_EQ(Save(picture, 24, tiff, 5), 1);
    EXPECT_EQ(qv::test::RunTool("identify -format '%m' '" + jpeg + "'").text(), "JPEG");
    EXPECT_EQ(qv::test::RunTool("identify -format '%m' '" + tiff + "'").text(), "TIFF");
}

// ---- Exact round trips ----

TEST(StillExportRoundTrip, TrueColourPngAndTiffReadBackExactly)
{
    HostPicture picture(61, 23, 24);
    const auto colours = FillNoise(picture, 3);
    const std::string png = qv::test::ScratchPath("rt.png"), tiff = qv::test::ScratchPath("rt.tif");
    ASSERT_EQ(Save(picture, 24, png, QV_FORMAT_PNG), 1);
    ASSERT_EQ(Save(picture, 24, tiff, QV_FORMAT_TIFF), 1);
    EXPECT_EQ(DecodeRgb(png), RgbOf(colours));
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
    const std::string info = TiffInfo(tiff);
    EXPECT_TRUE(Contains(info, "Bits/Sample: 8")) << info;
    EXPECT_TRUE(Contains(info, "Samples/Pixel: 3")) << info;
    EXPECT_TRUE(Contains(info, "Orientation: row 0 top")) << info;
}

TEST(StillExportRoundTrip, ThirtyTwoBitPictureIsSavedAtTwentyFourBits)
{
    HostPicture picture(19, 11, 32);
    const auto colours = FillNoise(picture, 4);
    const std::string png = qv::test::ScratchPath("w.png"), tiff = qv::test::ScratchPath("w.tif"),
                      jpeg = qv::test::ScratchPath("w.jpg");
    ASSERT_EQ(Save(picture, 32, png, QV_FORMAT_PNG), 1);
    ASSERT_EQ(Save(picture, 32, tiff, QV_FORMAT_TIFF), 1);
    ASSERT_EQ(Save(picture, 32, jpeg, QV_FORMAT_JPEG), 1);
    EXPECT_EQ(PngDepthAndColourType(qv::test::ReadFileBytes(png)), std::make_pair(8, 2));  // no alpha
    EXPECT_TRUE(Contains(TiffInfo(tiff), "Samples/Pixel: 3"));
    EXPECT_EQ(JpegComponents(qv::test::ReadFileBytes(jpeg)), 3);
    EXPECT_EQ(DecodeRgb(png), RgbOf(colours));
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
}

// 16-bit pictures are 5-5-5; widening maps each 5-bit value v to v*255/31.
TEST(StillExportRoundTrip, SixteenBitPictureIsWidenedChannelByChannel)
{
    HostPicture picture(32, 3, 16);
    std::vector<uint32_t> colours;
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 32; ++x) {
            const uint32_t r = static_cast<uint32_t>(x), g = static_cast<uint32_t>((x + 11 * y) % 32),
                           b = static_cast<uint32_t>(31 - x);
            const auto word = static_cast<uint16_t>(r << 10 | g << 5 | b);
            std::memcpy(picture.row(y) + 2 * x, &word, 2);
            colours.push_back((r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (b * 255 / 31));
        }
    }
    for (int32_t format : {QV_FORMAT_PNG, QV_FORMAT_TIFF}) {
        const std::string path = qv::test::ScratchPath("s16." + std::to_string(format));
        ASSERT_EQ(Save(picture, 16, path, format), 1);
        EXPECT_EQ(DecodeRgb(path), RgbOf(colours)) << format;
    }
    const std::string tiff = qv::test::ScratchPath("s16.tif");
    ASSERT_EQ(Save(picture, 16, tiff, QV_FORMAT_TIFF), 1);
    EXPECT_TRUE(Contains(TiffInfo(tiff), "Bits/Sample: 8"));
    EXPECT_TRUE(Contains(TiffInfo(tiff), "Samples/Pixel: 3"));
}

// ---- Palette pictures ----

TEST(StillExportPalette, EightBitTiffKeepsItsColourTable)
{
    HostPicture picture(13, 9, 8);
    const auto colours = FillPalette(picture, 5);
    const std::string tiff = qv::test::ScratchPath("p8.tif");
    ASSERT_EQ(Save(picture, 8, tiff, QV_FORMAT_TIFF), 1);
    const std::string info = TiffInfo(tiff, "-c");
    EXPECT_TRUE(Contains(info, "Bits/Sample: 8")) << info;
    EXPECT_TRUE(Contains(info, "Samples/Pixel: 1")) << info;
    EXPECT_TRUE(Contains(info, "palette color")) << info;
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = picture.palette()[i];
        char line[64];
        std::snprintf(line, sizeof line, "%5d: %5u %5u %5u\n", i, ((c >> 16) & 0xFF) * 257u,
                      ((c >> 8) & 0xFF) * 257u, (c & 0xFF) * 257u);
        ASSERT_TRUE(Contains(info, line)) << "colour map entry " << line;
    }
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
}

// The image library stores an 8-bit picture whose table is the plain grey
// ramp as a greyscale TIFF without a table; the pixels are the same.
TEST(StillExportPalette, GreyRampTiffIsStoredAsEightBitGrey)
{
    HostPicture picture(16, 16, 8);
    for (uint32_t i = 0; i < 256; ++i) picture.palette()[i] = i * 0x010101u;
    picture.fillIndices([](int x, int y) { return static_cast<uint8_t>(16 * y + x); });
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) colours.push_back(i * 0x010101u);
    const std::string tiff = qv::test::ScratchPath("grey.tif");
    ASSERT_EQ(Save(picture, 8, tiff, QV_FORMAT_TIFF), 1);
    const std::string info = TiffInfo(tiff);
    EXPECT_TRUE(Contains(info, "Bits/Sample: 8")) << info;
    EXPECT_TRUE(Contains(info, "Samples/Pixel: 1")) << info;
    EXPECT_TRUE(Contains(info, "min-is-black")) << info;
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
}

TEST(StillExportPalette, FourBitTiffStaysFourBits)
{
    HostPicture picture(10, 4, 4);
    for (int i = 0; i < 16; ++i) picture.palette()[i] = static_cast<uint32_t>(i * 0x0F1F2F) & 0xFFFFFFu;
    std::vector<uint32_t> colours;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 10; x += 2) {
            const int hi = (x + y) % 16, lo = (x + 1 + 3 * y) % 16;
            picture.row(y)[x / 2] = static_cast<uint8_t>(hi << 4 | lo);
            colours.push_back(picture.palette()[hi]);
            colours.push_back(picture.palette()[lo]);
        }
    }
    const std::string tiff = qv::test::ScratchPath("p4.tif");
    ASSERT_EQ(Save(picture, 4, tiff, QV_FORMAT_TIFF), 1);
    const std::string info = TiffInfo(tiff);
    EXPECT_TRUE(Contains(info, "Bits/Sample: 4")) << info;
    EXPECT_TRUE(Contains(info, "palette color")) << info;
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
}

TEST(StillExportPalette, EightBitPngAndJpegAreWidenedThroughTheTable)
{
    HostPicture picture(16, 16, 8);
    const auto colours = FillPalette(picture, 6);
    const std::string png = qv::test::ScratchPath("p8.png"), jpeg = qv::test::ScratchPath("p8.jpg");
    ASSERT_EQ(Save(picture, 8, png, QV_FORMAT_PNG), 1);
    ASSERT_EQ(Save(picture, 8, jpeg, QV_FORMAT_JPEG), 1);
    EXPECT_EQ(PngDepthAndColourType(qv::test::ReadFileBytes(png)), std::make_pair(8, 2));
    EXPECT_EQ(DecodeRgb(png), RgbOf(colours));
    EXPECT_EQ(JpegComponents(qv::test::ReadFileBytes(jpeg)), 3);
}

TEST(StillExportPalette, OneBitTiffIsWidenedToTwentyFourBits)
{
    HostPicture picture(16, 2, 1);
    picture.palette()[0] = 0x102030;
    picture.palette()[1] = 0xE0D0C0;
    picture.row(0)[0] = 0xF0;
    picture.row(0)[1] = 0x0F;
    picture.row(1)[0] = 0xAA;
    picture.row(1)[1] = 0x55;
    std::vector<uint32_t> colours;
    const uint8_t rows[2][2] = {{0xF0, 0x0F}, {0xAA, 0x55}};
    for (auto& row : rows)
        for (uint8_t byte : row)
            for (int bit = 7; bit >= 0; --bit) colours.push_back(picture.palette()[(byte >> bit) & 1]);
    const std::string tiff = qv::test::ScratchPath("p1.tif");
    ASSERT_EQ(Save(picture, 1, tiff, QV_FORMAT_TIFF), 1);
    const std::string info = TiffInfo(tiff);
    EXPECT_TRUE(Contains(info, "Bits/Sample: 8")) << info;
    EXPECT_TRUE(Contains(info, "Samples/Pixel: 3")) << info;
    EXPECT_EQ(DecodeRgb(tiff), RgbOf(colours));
}

// ---- Every depth with every format ----

// Fills a picture of any depth with varied content and returns each pixel's
// colour as the file should hold it after widening (0x00RRGGBB, top first).
std::vector<uint32_t> FillAnyDepth(const HostPicture& picture, int32_t depth)
{
    std::mt19937 random(static_cast<unsigned>(depth));
    std::vector<uint32_t> colours;
    if (depth <= 8) {
        for (int i = 0; i < (1 << depth); ++i) picture.palette()[i] = static_cast<uint32_t>(random()) & 0xFFFFFFu;
    }
    for (int y = 0; y < picture.height(); ++y) {
        uint8_t* line = picture.row(y);
        for (int x = 0; x < picture.width(); ++x) {
            const auto value = static_cast<uint32_t>(random());
            if (depth <= 8) {
                const uint32_t index = value & ((1u << depth) - 1u);
                const int bit = x * depth;
                const int shift = 8 - depth - bit % 8;
                line[bit / 8] = static_cast<uint8_t>((line[bit / 8] & ~(((1 << depth) - 1) << shift)) | index << shift);
                colours.push_back(picture.palette()[index]);
            } else if (depth == 16) {
                const auto word = static_cast<uint16_t>(value & 0x7FFF);
                std::memcpy(line + 2 * x, &word, 2);
                const uint32_t r = (word >> 10) & 31, g = (word >> 5) & 31, b = word & 31;
                colours.push_back((r * 255 / 31) << 16 | (g * 255 / 31) << 8 | (b * 255 / 31));
            } else {
                const int bytes = depth / 8;
                line[x * bytes] = static_cast<uint8_t>(value);
                line[x * bytes + 1] = static_cast<uint8_t>(value >> 8);
                line[x * bytes + 2] = static_cast<uint8_t>(value >> 16);
                if (bytes == 4) line[x * bytes + 3] = static_cast<uint8_t>(value >> 24);  // ignored by readers
                colours.push_back(value & 0xFFFFFFu);
            }
        }
    }
    return colours;
}

TEST(StillExportMatrix, EveryDepthInEveryFormat)
{
    for (int32_t depth : {1, 4, 8, 16, 24, 32}) {
        HostPicture picture(21, 9, depth);
        ASSERT_TRUE(picture.valid());
        const Bytes expected = RgbOf(FillAnyDepth(picture, depth));
        const bool tiffKeepsDepth = depth == 4 || depth == 8 || depth == 24;
        const std::string tag = std::to_string(depth);

        const std::string png = qv::test::ScratchPath(tag + ".png");
        ASSERT_EQ(Save(picture, depth, png, QV_FORMAT_PNG), 1) << depth;
        EXPECT_EQ(PngDepthAndColourType(qv::test::ReadFileBytes(png)), std::make_pair(8, 2)) << depth;
        EXPECT_EQ(DecodeRgb(png), expected) << depth;

        const std::string tiff = qv::test::ScratchPath(tag + ".tif");
        ASSERT_EQ(Save(picture, depth, tiff, QV_FORMAT_TIFF), 1) << depth;
        const std::string info = TiffInfo(tiff);
        if (tiffKeepsDepth && depth != 24) {
            EXPECT_TRUE(Contains(info, "Bits/Sample: " + tag)) << depth << info;
            EXPECT_TRUE(Contains(info, "palette color")) << depth << info;
        } else {
            EXPECT_TRUE(Contains(info, "Bits/Sample: 8")) << depth << info;
            EXPECT_TRUE(Contains(info, "Samples/Pixel: 3")) << depth << info;
        }
        EXPECT_EQ(DecodeRgb(tiff), expected) << depth;

        const std::string jpeg = qv::test::ScratchPath(tag + ".jpg");
        ASSERT_EQ(Save(picture, depth, jpeg, QV_FORMAT_JPEG), 1) << depth;
        EXPECT_EQ(JpegComponents(qv::test::ReadFileBytes(jpeg)), 3) << depth;
        EXPECT_EQ(DecodeRgb(jpeg).size(), expected.size()) << depth;
    }
}

// ---- JPEG ----

// A smooth picture at the saver's default quality comes back within 3 levels
// per channel on average and 24 at worst (measured: 1.9 and 13); the flags reach the saver (best
// quality is closer and larger than worst quality).
TEST(StillExportJpeg, SmoothPictureWithinToleranceAndFlagsReachTheSaver)
{
    const int width = 64, height = 48;
    HostPicture picture(width, height, 24);
    std::vector<uint32_t> colours;
    picture.fillRgb([&](int x, int y) {
        const uint32_t r = static_cast<uint32_t>(x * 4), g = static_cast<uint32_t>(y * 5),
                       b = static_cast<uint32_t>(128 + 60 * std::sin((x + y) / 9.0));
        return r << 16 | g << 8 | b;
    });
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = picture.row(y) + 3 * x;
            colours.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
    }
    const Bytes expected = RgbOf(colours);
    auto errors = [&](const std::string& path) {
        const Bytes got = DecodeRgb(path);
        EXPECT_EQ(got.size(), expected.size());
        double sum = 0;
        int worst = 0;
        for (std::size_t i = 0; i < std::min(got.size(), expected.size()); ++i) {
            const int d = std::abs(int{got[i]} - int{expected[i]});
            sum += d;
            worst = std::max(worst, d);
        }
        return std::make_pair(sum / static_cast<double>(expected.size()), worst);
    };
    const std::string normal = qv::test::ScratchPath("q.jpg"), superb = qv::test::ScratchPath("q100.jpg"),
                      bad = qv::test::ScratchPath("q10.jpg");
    ASSERT_EQ(Save(picture, 24, normal, QV_FORMAT_JPEG, 0), 1);
    ASSERT_EQ(Save(picture, 24, superb, QV_FORMAT_JPEG, 0x80), 1);   // JPEG_QUALITYSUPERB
    ASSERT_EQ(Save(picture, 24, bad, QV_FORMAT_JPEG, 0x0400), 1);    // JPEG_QUALITYBAD
    const auto [meanNormal, worstNormal] = errors(normal);
    EXPECT_LT(meanNormal, 3.0);
    EXPECT_LE(worstNormal, 24);
    const auto [meanSuperb, worstSuperb] = errors(superb);
    EXPECT_LT(meanSuperb, meanNormal);
    EXPECT_GT(qv::test::ReadFileBytes(superb).size(), qv::test::ReadFileBytes(bad).size());
}

// ---- Failures ----

TEST(StillExportFailure, UnwritablePathReportsZero)
{
    HostPicture picture(4, 4, 24);
    EXPECT_EQ(Save(picture, 24, qv::test::ScratchPath("missing-dir/x.png"), QV_FORMAT_PNG), 0);
    EXPECT_EQ(Save(picture, 8, qv::test::ScratchPath("missing-dir/x.tif"), QV_FORMAT_TIFF), 0);
    EXPECT_EQ(Save(picture, 32, qv::test::ScratchPath("missing-dir/x.jpg"), QV_FORMAT_JPEG), 0);
}

// The image library does not look at its writes; a disk that takes none of
// the bytes must still give 0.
TEST(StillExportFailure, FullDiskReportsZero)
{
    HostPicture picture(120, 80, 24);
    FillNoise(picture, 9);
    for (int32_t format : {QV_FORMAT_PNG, QV_FORMAT_JPEG, QV_FORMAT_TIFF}) {
        for (int32_t depth : {24, 32, 8}) {
            EXPECT_EQ(Save(picture, depth, "/dev/full", format), 0) << "format " << format << " depth " << depth;
        }
    }
}

TEST(StillExportFailure, PictureThatCannotBeMadeReportsZeroAndWritesNothing)
{
    HostPicture picture(4, 4, 24);
    const std::string path = qv::test::ScratchPath("none.png");
    for (const auto& size : {std::pair{0, 4}, std::pair{4, 0}, std::pair{-4, 4}, std::pair{4, -4}}) {
        EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), size.first, size.second, 24, path.c_str(),
                                  QV_FORMAT_PNG, 0),
                  0);
        EXPECT_NE(std::system(("test -e '" + path + "'").c_str()), 0);
    }
    EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 4, 4, 24, nullptr, QV_FORMAT_PNG, 0), 0);
}

}  // namespace

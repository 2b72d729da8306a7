// The literal-only code stream and its sub-block framing, driven with 8-bit
// pictures built in FreeImage: exact bytes for the small cases, structure
// and independent decoding for the larger ones.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gif/gif_file_layout.h"
#include "support/gif_decoded.h"
#include "support/gif_indexed_picture.h"
#include "support/scratch_files.h"
#include "support/shell_run.h"

namespace {

using qv::test::DistinctColor;
using qv::test::MakeIndexedPicture;
using Bytes = std::vector<uint8_t>;

constexpr std::size_t kDataSectionOffset = 32 + 18 + 768;

// The frame's data section (minimum code size through block terminator) of
// a one-frame file.
Bytes DataSection(FIBITMAP* picture, uint16_t width, uint16_t height)
{
    const std::string path = qv::test::ScratchPath("frame.gif");
    qv::test::WriteOneFrameGif(path, picture, width, height, 0, 0);
    const Bytes file = qv::test::ReadFileBytes(path);
    std::remove(path.c_str());
    if (file.size() < kDataSectionOffset + 1) return {};
    return Bytes(file.begin() + kDataSectionOffset, file.end() - 1);  // drop the trailer
}

uint32_t Uniform(int) { return 0x000000; }

// Codes of a frame as the literal-only scheme sends them: one literal per
// pixel (top row first), 256 after every 254th literal, 257 at the end.
std::vector<uint16_t> ExpectedCodes(const std::vector<uint8_t>& pixelsTopFirst)
{
    std::vector<uint16_t> codes;
    for (std::size_t i = 0; i < pixelsTopFirst.size(); ++i) {
        codes.push_back(pixelsTopFirst[i]);
        if ((i + 1) % 254 == 0) codes.push_back(256);
    }
    codes.push_back(257);
    return codes;
}

TEST(GifCodeStreamBytes, OneByOneFrame)
{
    auto picture = MakeIndexedPicture(1, 1, [](int, int) { return uint8_t{0x42}; }, Uniform);
    EXPECT_EQ(DataSection(picture.get(), 1, 1), (Bytes{0x08, 0x03, 0x42, 0x02, 0x02, 0x00}));
}

TEST(GifCodeStreamBytes, TwoByOneFrameOfIndexZero)
{
    auto picture = MakeIndexedPicture(2, 1, [](int, int) { return uint8_t{0}; }, Uniform);
    EXPECT_EQ(DataSection(picture.get(), 2, 1), (Bytes{0x08, 0x04, 0x00, 0x00, 0x04, 0x04, 0x00}));
}

TEST(GifCodeStreamBytes, EmptyFrameSendsTheEndCodeAlone)
{
    auto picture = MakeIndexedPicture(3, 2, [](int, int) { return uint8_t{9}; }, Uniform);
    const Bytes endOnly = {0x08, 0x02, 0x01, 0x01, 0x00};
    EXPECT_EQ(DataSection(picture.get(), 0, 2), endOnly);
    EXPECT_EQ(DataSection(picture.get(), 3, 0), endOnly);
}

// 254 literals + clear + end = 256 codes = 288 bytes: sub-blocks 255 and 33.
TEST(GifCodeStreamBytes, Frame254PixelsFillsOneBlockAndPartOfTheNext)
{
    std::vector<uint8_t> pixels;
    auto picture = MakeIndexedPicture(127, 2, [&](int x, int y) { return static_cast<uint8_t>(x * 3 + y * 101); },
                                      DistinctColor);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 127; ++x) pixels.push_back(static_cast<uint8_t>(x * 3 + y * 101));

    const Bytes section = DataSection(picture.get(), 127, 2);
    ASSERT_EQ(section.size(), 1u + 1 + 255 + 1 + 33 + 1);
    EXPECT_EQ(section[0], 0x08);
    EXPECT_EQ(section[1], 255);
    EXPECT_EQ(section[1 + 1 + 255], 33);
    EXPECT_EQ(section.back(), 0x00);

    Bytes data;
    for (std::size_t i = 0; i < section.size(); ++i) {
        if (i >= 2 && i != 2 + 255 && i + 1 < section.size()) data.push_back(section[i]);  // skip length bytes
    }
    ASSERT_EQ(data.size(), 288u);
    auto codes = qv::test::UnpackNineBitCodes(data);
    ASSERT_EQ(codes.size(), 256u);
    EXPECT_EQ(codes, ExpectedCodes(pixels));
}

// 225 pixels + end code = 226 codes = 2034 bits = 255 bytes exactly: one
// full sub-block, then straight to the terminator.
TEST(GifCodeStreamBytes, Frame225PixelsIsExactlyOneFullBlock)
{
    auto picture = MakeIndexedPicture(15, 15, [](int x, int y) { return static_cast<uint8_t>(x + 16 * y); },
                                      DistinctColor);
    const Bytes section = DataSection(picture.get(), 15, 15);
    ASSERT_EQ(section.size(), 2u + 255 + 1);
    EXPECT_EQ(section[0], 0x08);
    EXPECT_EQ(section[1], 0xFF);
    EXPECT_EQ(section.back(), 0x00);
    const auto codes = qv::test::UnpackNineBitCodes(Bytes(section.begin() + 2, section.end() - 1));
    ASSERT_EQ(codes.size(), 226u);
    EXPECT_EQ(codes[0], 0);
    EXPECT_EQ(codes[224], 14 + 16 * 14);
    EXPECT_EQ(codes[225], 257);
}

TEST(GifCodeStreamBytes, ClearCodeCountRunsAcrossRows)
{
    auto picture = MakeIndexedPicture(100, 3, [](int x, int y) { return static_cast<uint8_t>(y * 100 + x); },
                                      DistinctColor);
    const auto layout = qv::test::WalkGifLayout([&] {
        const std::string path = qv::test::ScratchPath("rows.gif");
        qv::test::WriteOneFrameGif(path, picture.get(), 100, 3, 0, 0);
        return qv::test::ReadFileBytes(path);
    }());
    ASSERT_TRUE(layout.ok) << layout.error;
    const auto codes = qv::test::UnpackNineBitCodes(layout.frames.at(0).data);
    // Pixel 254 is column 53 of the third row; the clear code follows it.
    EXPECT_EQ(codes.at(253), 253);
    EXPECT_EQ(codes.at(254), 256);
    EXPECT_EQ(codes.at(255), 254);
    EXPECT_EQ(codes.at(300 + 1), 257);
}

TEST(GifCodeStreamBytes, TopRowIsSentFirst)
{
    auto picture = MakeIndexedPicture(4, 3, [](int, int y) { return static_cast<uint8_t>(y == 0 ? 7 : y == 2 ? 200 : 50); },
                                      DistinctColor);
    const Bytes section = DataSection(picture.get(), 4, 3);
    ASSERT_GE(section.size(), 3u);
    const auto codes = qv::test::UnpackNineBitCodes(Bytes(section.begin() + 2, section.end() - 1));
    ASSERT_GE(codes.size(), 13u);
    EXPECT_EQ((std::vector<uint16_t>(codes.begin(), codes.begin() + 13)),
              (std::vector<uint16_t>{7, 7, 7, 7, 50, 50, 50, 50, 200, 200, 200, 200, 257}));
}

TEST(GifCodeStreamBytes, ColorTableIsRedGreenBluePerEntry)
{
    auto picture = MakeIndexedPicture(1, 1, [](int, int) { return uint8_t{0}; }, DistinctColor);
    const std::string path = qv::test::ScratchPath("table.gif");
    qv::test::WriteOneFrameGif(path, picture.get(), 1, 1, 0, 0);
    const Bytes file = qv::test::ReadFileBytes(path);
    ASSERT_GE(file.size(), 32u + 18 + 768);
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = DistinctColor(i);
        const std::size_t at = 32 + 18 + 3 * static_cast<std::size_t>(i);
        ASSERT_EQ(file[at], (c >> 16) & 0xFF) << i;
        ASSERT_EQ(file[at + 1], (c >> 8) & 0xFF) << i;
        ASSERT_EQ(file[at + 2], c & 0xFF) << i;
    }
}

// Pixel counts around the sub-block and clear-code boundaries: code count,
// byte count and sub-block lengths follow from the count alone, and the
// codes are the pixels' own.
TEST(GifCodeStreamStructure, SubBlocksForManySizes)
{
    std::mt19937 random(5);
    const int sizes[][2] = {{1, 1},   {224, 1}, {226, 1}, {253, 1}, {255, 1},  {508, 1},
                            {509, 1}, {17, 31}, {64, 64}, {255, 9}, {640, 48}, {1, 1000}};
    for (const auto& size : sizes) {
        const int width = size[0], height = size[1];
        std::vector<uint8_t> pixels(static_cast<std::size_t>(width * height));
        for (auto& p : pixels) p = static_cast<uint8_t>(random());
        auto picture = MakeIndexedPicture(width, height,
                                          [&](int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; },
                                          DistinctColor);
        const std::string path = qv::test::ScratchPath("sizes.gif");
        qv::test::WriteOneFrameGif(path, picture.get(), static_cast<uint16_t>(width), static_cast<uint16_t>(height), 0, 0);
        const auto layout = qv::test::WalkGifLayout(qv::test::ReadFileBytes(path));
        ASSERT_TRUE(layout.ok) << layout.error << " for " << width << "x" << height;
        ASSERT_EQ(layout.frames.size(), 1u);
        const auto& frame = layout.frames[0];
        EXPECT_EQ(frame.minimumCodeSize, 8);

        const std::size_t p = pixels.size();
        const std::size_t codeCount = p + p / 254 + 1;
        const std::size_t byteCount = (9 * codeCount + 7) / 8;
        EXPECT_EQ(frame.data.size(), byteCount) << width << "x" << height;
        for (std::size_t b = 0; b < frame.subBlockLengths.size(); ++b) {
            const std::size_t expected = b + 1 < frame.subBlockLengths.size() ? 255 : byteCount - 255 * b;
            EXPECT_EQ(frame.subBlockLengths[b], expected) << "block " << b << " of " << width << "x" << height;
        }
        EXPECT_EQ(frame.subBlockLengths.size(), (byteCount + 254) / 255);
        auto codes = qv::test::UnpackNineBitCodes(frame.data);
        codes.resize(codeCount);  // drop a padding code made of the last byte's spare bits
        EXPECT_EQ(codes, ExpectedCodes(pixels)) << width << "x" << height;
        std::remove(path.c_str());
    }
}

// giflib decodes the literal-only stream back into the same indices and
// reports the colour table as written.
TEST(GifCodeStreamDecoders, GiflibReadsEveryIndexBack)
{
    std::mt19937 random(11);
    const int width = 97, height = 61;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width * height));
    for (auto& p : pixels) p = static_cast<uint8_t>(random());
    auto picture = MakeIndexedPicture(width, height,
                                      [&](int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; },
                                      DistinctColor);
    const std::string path = qv::test::ScratchPath("giflib.gif");
    qv::test::WriteOneFrameGif(path, picture.get(), width, height, 4, 3);
    const auto gif = qv::test::DecodeWithGiflib(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.screenWidth, width);
    EXPECT_EQ(gif.screenHeight, height);
    EXPECT_FALSE(gif.hasGlobalTable);
    EXPECT_EQ(gif.loopCount, 3);
    ASSERT_EQ(gif.frames.size(), 1u);
    const auto& frame = gif.frames[0];
    EXPECT_EQ(frame.delay, 4);
    EXPECT_EQ(frame.disposal, 2);
    EXPECT_EQ(frame.transparentIndex, -1);
    EXPECT_FALSE(frame.interlaced);
    ASSERT_EQ(frame.palette.size(), 256u);
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = DistinctColor(i);
        ASSERT_EQ(frame.palette[static_cast<std::size_t>(i)],
                  (qv::test::Rgb{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)}));
    }
    EXPECT_EQ(frame.indices, pixels);
}

// ImageMagick and FFmpeg each turn the file into RGB; every pixel must be
// the palette colour of its index.
TEST(GifCodeStreamDecoders, ImageMagickAndFfmpegShowThePaletteColours)
{
    std::mt19937 random(12);
    const int width = 53, height = 29;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width * height));
    for (auto& p : pixels) p = static_cast<uint8_t>(random());
    auto picture = MakeIndexedPicture(width, height,
                                      [&](int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; },
                                      DistinctColor);
    const std::string path = qv::test::ScratchPath("tools.gif");
    qv::test::WriteOneFrameGif(path, picture.get(), width, height, 10, 0);
    Bytes expected;
    for (uint8_t index : pixels) {
        const uint32_t c = DistinctColor(index);
        expected.push_back(static_cast<uint8_t>(c >> 16));
        expected.push_back(static_cast<uint8_t>(c >> 8));
        expected.push_back(static_cast<uint8_t>(c));
    }
    const auto magick = qv::test::RunTool("convert '" + path + "' -depth 8 rgb:-");
    ASSERT_EQ(magick.exitCode, 0);
    EXPECT_EQ(magick.output, expected);
    const auto ffmpeg = qv::test::RunTool("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(ffmpeg.exitCode, 0);
    EXPECT_EQ(ffmpeg.output, expected);
}

}  // namespace

// The command's compact GIFs against the library writer's files for the same
// morphs: every frame as giflib, FFmpeg and ImageMagick show it, the loop
// count and the delays must be the same; only the size may differ.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "gif_lzw_encoder.h"
#include "support/animation_frames.h"
#include "support/cli_run.h"
#include "support/gif_decoded.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

constexpr int kW = 41, kH = 29;

// The pictures a viewer shows, frame by frame, from giflib's decoding:
// each frame drawn over what is shown, its transparent index left out.
std::vector<RgbPicture> Shown(const qv::test::DecodedGif& gif)
{
    std::vector<RgbPicture> shown;
    RgbPicture canvas{gif.screenWidth, gif.screenHeight,
                      std::vector<uint8_t>(static_cast<std::size_t>(gif.screenWidth * gif.screenHeight * 3))};
    for (const qv::test::DecodedFrame& f : gif.frames) {
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const uint8_t index = f.indices[static_cast<std::size_t>(y * f.width + x)];
                if (index == f.transparentIndex) continue;
                const qv::test::Rgb c = f.palette.at(index);
                uint8_t* px = &canvas.rgb[static_cast<std::size_t>(((f.top + y) * gif.screenWidth + f.left + x) * 3)];
                px[0] = c.red;
                px[1] = c.green;
                px[2] = c.blue;
            }
        shown.push_back(canvas);
        if (f.disposal == 2)  // back to the background before the next frame
            for (int y = 0; y < f.height; ++y)
                for (int x = 0; x < f.width; ++x)
                    for (int c = 0; c < 3; ++c)
                        canvas.rgb[static_cast<std::size_t>(((f.top + y) * gif.screenWidth + f.left + x) * 3 + c)] = 0;
    }
    return shown;
}

RgbPicture Noise(unsigned seed)
{
    std::mt19937 random(seed);
    RgbPicture p{kW, kH, std::vector<uint8_t>(kW * kH * 3)};
    for (uint8_t& b : p.rgb) b = static_cast<uint8_t>(random());
    return p;
}

// Flat areas of a few colours with one busy patch: most of it stays as it
// is from frame to frame.
RgbPicture Flat()
{
    RgbPicture p = Noise(3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            if (x > 28 && y > 18) continue;
            uint8_t* px = &p.rgb[static_cast<std::size_t>((y * kW + x) * 3)];
            px[0] = x < 20 ? 200 : 30;
            px[1] = y < 15 ? 180 : 60;
            px[2] = 90;
        }
    return p;
}

// A one-frame GIF of `indices` (width x height) in the code stream given,
// with a grey palette (index i shows i, i, i) so that any decoder's colours
// give the indices back.
void WriteGreyGif(const fs::path& path, int width, int height, const std::vector<uint8_t>& codes)
{
    std::vector<uint8_t> file = {'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](int v) {
        file.push_back(static_cast<uint8_t>(v));
        file.push_back(static_cast<uint8_t>(v >> 8));
    };
    word(width);
    word(height);
    file.insert(file.end(), {0x87, 0, 0});  // a 256-entry global table
    for (int i = 0; i < 256; ++i) file.insert(file.end(), 3, static_cast<uint8_t>(i));
    file.push_back(0x2C);
    word(0);
    word(0);
    word(width);
    word(height);
    file.insert(file.end(), {0, 8});
    for (std::size_t at = 0; at < codes.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, codes.size() - at);
        file.push_back(static_cast<uint8_t>(n));
        file.insert(file.end(), codes.begin() + static_cast<std::ptrdiff_t>(at), codes.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    file.insert(file.end(), {0, 0x3B});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
}

TEST(LzwCodeStream, PacksNineBitCodesLeastSignificantBitFirst)
{
    // Five zeros: clear (256), 0, then the string "0 0" (258) twice, end
    // (257); nine bits each, 45 bits in six bytes.
    const std::vector<uint8_t> zeros(5, 0);
    EXPECT_EQ(qvcli::LzwCodeStream(zeros.data(), zeros.size(), 4096),
              (std::vector<uint8_t>{0x00, 0x01, 0x08, 0x14, 0x18, 0x10}));
    // Nothing: clear and end.
    EXPECT_EQ(qvcli::LzwCodeStream(nullptr, 0, 4096), (std::vector<uint8_t>{0x00, 0x03, 0x02}));
}

TEST(LzwCodeStream, GiflibFfmpegAndImageMagickDecodeEveryTableLimit)
{
    // Noise fills the table many times over, runs make long strings (and
    // codes used as soon as they are made), a few colours sit between.
    constexpr int w = 96, h = 180;
    std::mt19937 random(11);
    std::vector<uint8_t> indices(static_cast<std::size_t>(w * h));
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::size_t row = i / w;
        indices[i] = row % 3 == 0 ? static_cast<uint8_t>(random()) : row % 3 == 1 ? static_cast<uint8_t>(row) : static_cast<uint8_t>(random() % 4);
    }
    RgbPicture expected{w, h, {}};
    for (uint8_t index : indices) expected.rgb.insert(expected.rgb.end(), 3, index);
    qv::test::ScratchDir dir{"lzw"};
    for (const int limit : {512, 1000, 1024, 2048, 3000, 4096}) {
        const fs::path path = dir / ("limit" + std::to_string(limit) + ".gif");
        WriteGreyGif(path, w, h, qvcli::LzwCodeStream(indices.data(), indices.size(), limit));
        const qv::test::DecodedGif gif = qv::test::DecodeWithGiflib(path.string());
        ASSERT_TRUE(gif.ok) << limit << ": " << gif.error;
        ASSERT_EQ(gif.frames.size(), 1u);
        EXPECT_EQ(gif.frames[0].indices, indices) << limit;
        EXPECT_EQ(qv::test::FramesWithFfmpeg(path, w, h), std::vector<RgbPicture>{expected}) << limit;
        EXPECT_EQ(qv::test::FramesWithImageMagick(path, w, h), std::vector<RgbPicture>{expected}) << limit;
    }
    // Emptied sooner, the table gives a different, still readable stream.
    EXPECT_NE(qvcli::LzwCodeStream(indices.data(), indices.size(), 1024),
              qvcli::LzwCodeStream(indices.data(), indices.size(), 4096));
    const std::size_t smallest = qvcli::SmallestLzwCodeStream(indices.data(), indices.size()).size();
    for (const int limit : {1024, 2048, 4096})
        EXPECT_LE(smallest, qvcli::LzwCodeStream(indices.data(), indices.size(), limit).size());
}

class CliCompactGif : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::WritePpm(dir_ / "src.ppm", Noise(1));
        qv::test::WritePpm(dir_ / "dst.ppm", Noise(2));
        qv::test::WritePpm(dir_ / "flat.ppm", Flat());
        std::ofstream(dir_ / "moving.txt") << "5 5 9 7\n20 14 24 12 2\n33 8 30 12\n12 24 15 20 0.5\n";
        std::ofstream(dir_ / "none.txt") << "# no points\n";
    }
    CliResult RunCli(std::vector<std::string> args) { return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path()); }

    // Writes the morph both ways and checks that they show the same.
    void ExpectSameAnimation(std::vector<std::string> morph, const std::string& label)
    {
        for (const std::string writer : {"compact", "library"}) {
            std::vector<std::string> args = morph;
            args.insert(args.end(), {"--out", writer + ".gif", "--gif-writer", writer, "--quiet"});
            const CliResult r = RunCli(args);
            ASSERT_EQ(r.status, 0) << r.err;
        }
        // The default is the compact writer.
        std::vector<std::string> args = morph;
        args.insert(args.end(), {"--out", "default.gif", "--quiet"});
        ASSERT_EQ(RunCli(args).status, 0);
        EXPECT_EQ(qv::test::ShellOutput("cmp " + qv::test::ShellQuote((dir_ / "default.gif").string()) + " " +
                                      qv::test::ShellQuote((dir_ / "compact.gif").string()) + " && echo same"),
                  "same\n");

        const qv::test::DecodedGif compact = qv::test::DecodeWithGiflib((dir_ / "compact.gif").string());
        const qv::test::DecodedGif library = qv::test::DecodeWithGiflib((dir_ / "library.gif").string());
        ASSERT_TRUE(compact.ok) << compact.error;
        ASSERT_TRUE(library.ok) << library.error;
        EXPECT_EQ(compact.screenWidth, library.screenWidth);
        EXPECT_EQ(compact.screenHeight, library.screenHeight);
        EXPECT_EQ(compact.loopCount, library.loopCount);
        ASSERT_EQ(compact.frames.size(), library.frames.size());
        for (std::size_t i = 0; i < compact.frames.size(); ++i) {
            EXPECT_EQ(compact.frames[i].delay, library.frames[i].delay) << label << " frame " << i;
            EXPECT_EQ(compact.frames[i].palette, library.frames[i].palette) << label << " frame " << i;
        }
        const std::vector<RgbPicture> shown = Shown(library);
        EXPECT_EQ(Shown(compact), shown) << label;
        const int w = library.screenWidth, h = library.screenHeight;
        EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "compact.gif", w, h), shown) << label;
        EXPECT_EQ(qv::test::FramesWithImageMagick(dir_ / "compact.gif", w, h), shown) << label;
        // The library's frames as FFmpeg sees them, so that a fault in Shown cannot hide one.
        EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "library.gif", w, h), shown) << label;
    }

    qv::test::ScratchDir dir_{"compact-gif"};
};

TEST_F(CliCompactGif, ShowsWhatTheLibraryWritersFileShows)
{
    ExpectSameAnimation({"morph", "src.ppm", "dst.ppm", "--points", "moving.txt", "--frames", "8", "--fps", "25",
                         "--loop", "3", "--bilinear"},
                        "noise");
    ExpectSameAnimation({"morph", "src.ppm", "dst.ppm", "--points", "moving.txt", "--frames", "3", "--range", "1:3",
                         "--fps", "7"},
                        "range");
}

TEST_F(CliCompactGif, UnchangedAreasAreLeftOutAndShowTheSame)
{
    ExpectSameAnimation({"morph", "flat.ppm", "flat.ppm", "--points", "none.txt", "--frames", "6"}, "flat");
    // (Pure noise, above, compresses no better than the literal codes.)
    EXPECT_LT(fs::file_size(dir_ / "compact.gif") * 2, fs::file_size(dir_ / "library.gif"));
    // Frames after the first cover less than the screen, or let what is
    // shown through their transparent index.
    const qv::test::DecodedGif compact = qv::test::DecodeWithGiflib((dir_ / "compact.gif").string());
    ASSERT_EQ(compact.frames.size(), 6u);
    EXPECT_EQ(compact.frames[0].width * compact.frames[0].height, kW * kH);
    EXPECT_EQ(compact.frames[0].transparentIndex, -1);
    int leftOut = 0;
    for (std::size_t i = 1; i < compact.frames.size(); ++i) {
        const qv::test::DecodedFrame& f = compact.frames[i];
        leftOut += kW * kH - f.width * f.height;
        for (uint8_t index : f.indices) leftOut += index == f.transparentIndex;
    }
    EXPECT_GT(leftOut, 5 * kW * kH / 2);
}

TEST_F(CliCompactGif, TheDemoIsSeveralTimesSmaller)
{
    for (const std::string writer : {"compact", "library"}) {
        const CliResult r = RunCli({"demo", "--out", writer + ".gif", "--gif-writer", writer, "--quiet"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const auto compact = fs::file_size(dir_ / "compact.gif"), library = fs::file_size(dir_ / "library.gif");
    std::cout << "demo GIF: compact " << compact << " bytes, library writer " << library << " bytes\n";
    // Every pixel of the demo changes from frame to frame, so the whole gain
    // is in the coding: 3.26 times, where a general GIF optimiser reaches 3.1.
    EXPECT_LT(compact * 16, library * 5);  // at least 3.2 times smaller
    const std::vector<RgbPicture> shown = qv::test::FramesWithFfmpeg(dir_ / "library.gif", 240, 180);
    ASSERT_EQ(shown.size(), 40u);
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "compact.gif", 240, 180), shown);
    EXPECT_EQ(qv::test::FramesWithImageMagick(dir_ / "compact.gif", 240, 180), shown);
    const qv::test::DecodedGif compactGif = qv::test::DecodeWithGiflib((dir_ / "compact.gif").string());
    ASSERT_TRUE(compactGif.ok) << compactGif.error;
    EXPECT_EQ(Shown(compactGif), shown);
}

TEST_F(CliCompactGif, APhotographMorphShowsTheSameInLessSpace)
{
    // Every index of every palette in use, no colour twice, nearly every
    // pixel changed: only the coding can gain.
    const std::string data = "/usr/lib/python3/dist-packages/skimage/data/";
    ASSERT_TRUE(fs::exists(data + "chelsea.png")) << "python3-skimage is needed";
    std::ofstream(dir_ / "photo.txt") << "100 80 150 120\n300 100 420 150\n220 220 300 300\n60 250 90 350\n";
    ExpectSameAnimation({"morph", data + "chelsea.png", data + "coffee.png", "--size", "450x300", "--points", "photo.txt",
                         "--frames", "8"},
                        "photographs");
    const auto compact = fs::file_size(dir_ / "compact.gif"), library = fs::file_size(dir_ / "library.gif");
    std::cout << "photograph GIF: compact " << compact << " bytes, library writer " << library << " bytes\n";
    EXPECT_LT(compact * 10, library * 7);  // at least 1.43 times smaller
}

}  // namespace

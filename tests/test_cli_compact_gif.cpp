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
    EXPECT_LT(compact * 5, library * 2);  // at least 2.5 times smaller
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "compact.gif", 240, 180),
              qv::test::FramesWithFfmpeg(dir_ / "library.gif", 240, 180));
}

}  // namespace

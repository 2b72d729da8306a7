// What the quorvane command writes, read back by decoders outside the
// project: stills by ImageMagick, animations by ImageMagick and giflib,
// videos by FFmpeg. With an identity mesh the first frame is the source
// picture and the last the destination, pixel for pixel; a job split with
// --range gives the frames of one run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/gif_decoded.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

constexpr int kW = 41, kH = 29;  // odd sizes: no row of either picture lines up with 4 bytes

RgbPicture Noise(unsigned seed)
{
    std::mt19937 random(seed);
    RgbPicture p{kW, kH, std::vector<uint8_t>(kW * kH * 3)};
    for (uint8_t& b : p.rgb) b = static_cast<uint8_t>(random());
    return p;
}

std::string FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class CliOutputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        source_ = Noise(1);
        dest_ = Noise(2);
        qv::test::WritePpm(dir_ / "src.ppm", source_);
        qv::test::WritePpm(dir_ / "dst.ppm", dest_);
        std::ofstream(dir_ / "identity.txt") << "# points that stay where they are\n5 5 5 5\n20 14 20 14\n33 8 33 8\n12 24 12 24\n";
        std::ofstream(dir_ / "moving.txt") << "5 5 9 7\n20 14 24 12 2\n33 8 30 12\n12 24 15 20 0.5\n";
    }
    CliResult RunCli(std::vector<std::string> args) { return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path()); }
    CliResult Morph(const std::string& points, const std::string& out, std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"morph", "src.ppm", "dst.ppm", "--points", points, "--out", out, "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    }
    RgbPicture Read(const std::string& name) { return qv::test::ReadWithImageMagick((dir_ / name).string()); }

    qv::test::ScratchDir dir_{"outputs"};
    RgbPicture source_, dest_;
};

TEST_F(CliOutputs, IdentityMeshStartsAtTheSourceAndEndsAtTheDestination)
{
    for (const char* pattern : {"png/f_%04d.png", "tif/f_%04d.tif"}) {
        fs::create_directory(dir_ / fs::path(pattern).parent_path());
        const CliResult r = Morph("identity.txt", pattern, {"--frames", "9"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string dir = fs::path(pattern).parent_path().string(), ext = fs::path(pattern).extension().string();
        EXPECT_EQ(Read(dir + "/f_0000" + ext), source_) << pattern;
        EXPECT_EQ(Read(dir + "/f_0008" + ext), dest_) << pattern;
        const RgbPicture middle = Read(dir + "/f_0004" + ext);
        EXPECT_NE(middle, source_);
        EXPECT_NE(middle, dest_);
        EXPECT_FALSE(fs::exists(dir_ / (dir + "/f_0009" + ext)));
    }
    EXPECT_EQ(qv::test::Identify("%m %w %h", dir_ / "tif/f_0003.tif"), std::vector<std::string>{"TIFF 41 29"});
    EXPECT_EQ(qv::test::Identify("%m %w %h", dir_ / "png/f_0003.png"), std::vector<std::string>{"PNG 41 29"});

    // Losslessly compressed video ends on the destination too.
    const CliResult avi = Morph("identity.txt", "m.avi", {"--frames", "5", "--codec", "ffv1"});
    ASSERT_EQ(avi.status, 0) << avi.err;
    EXPECT_EQ(qv::test::ReadVideoFrameWithFfmpeg(dir_ / "m.avi", 0, kW, kH), source_);
    EXPECT_EQ(qv::test::ReadVideoFrameWithFfmpeg(dir_ / "m.avi", 4, kW, kH), dest_);
}

TEST_F(CliOutputs, RangeSplitGivesTheFramesOfOneRun)
{
    fs::create_directory(dir_ / "whole");
    fs::create_directory(dir_ / "parts");
    ASSERT_EQ(Morph("moving.txt", "whole/%03d.png", {"--frames", "7", "--bilinear", "--weights", "smooth"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "parts/%03d.png", {"--frames", "7", "--bilinear", "--weights", "smooth", "--range", ":3"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "parts/%03d.png", {"--frames", "7", "--bilinear", "--weights", "smooth", "--range", "3:5"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "parts/%03d.png", {"--frames", "7", "--bilinear", "--weights", "smooth", "--range", "5:", "--threads", "1"}).status, 0);
    for (int f = 0; f < 7; ++f) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.png", f);
        const RgbPicture whole = Read(std::string("whole/") + name);
        ASSERT_EQ(whole.width, kW) << name;
        EXPECT_EQ(Read(std::string("parts/") + name), whole) << name;
    }
    EXPECT_FALSE(fs::exists(dir_ / "parts/007.png"));

    // GIF parts hold just their frames.
    ASSERT_EQ(Morph("moving.txt", "a.gif", {"--frames", "7", "--range", "2:6"}).status, 0);
    EXPECT_EQ(qv::test::Identify("%w %h", dir_ / "a.gif").size(), 4u);
}

TEST_F(CliOutputs, FramesReachTheWriterInOrderWhateverTheThreads)
{
    ASSERT_EQ(Morph("moving.txt", "one.gif", {"--frames", "12", "--threads", "1"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "many.gif", {"--frames", "12", "--threads", "5"}).status, 0);
    const std::string one = FileBytes(dir_ / "one.gif");
    EXPECT_GT(one.size(), 12u * 786u);
    EXPECT_EQ(one, FileBytes(dir_ / "many.gif"));
}

// A file that stops growing part-way (here a file-size limit, with the
// signal for it ignored so that writes fail as on a full disk) is reported
// as a write failure, not as a frame that could not be reduced in colour,
// and no output is left behind.
TEST_F(CliOutputs, GifThatCannotBeWrittenInFullSaysSo)
{
    for (const std::string writer : {"library", "compact"}) {
        int status = 0;
        const std::string err = qv::test::ShellOutput(
            "cd " + qv::test::ShellQuote(dir_.path().string()) + " && trap '' XFSZ && ulimit -f 8 && " +
                qv::test::ShellQuote(QUORVANE_CLI_PATH) +
                " morph src.ppm dst.ppm --points moving.txt --frames 6 --out limited.gif --quiet --gif-writer " + writer +
                " 2>&1",
            &status);
        EXPECT_NE(status, 0);
        EXPECT_NE(err.find(writer == "library" ? "could not be written in full" : "writing failed (disk full?)"),
                  std::string::npos)
            << err;
        EXPECT_EQ(err.find("256 colours"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(dir_ / "limited.gif"));
        for (const auto& e : fs::directory_iterator(dir_.path()))
            EXPECT_EQ(e.path().filename().string().find("limited.gif"), std::string::npos) << writer;
    }
}

TEST_F(CliOutputs, GifTimingAndLooping)
{
    ASSERT_EQ(Morph("moving.txt", "l.gif", {"--frames", "3", "--fps", "25", "--loop", "3"}).status, 0);
    const qv::test::DecodedGif gif = qv::test::DecodeWithGiflib((dir_ / "l.gif").string());
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.loopCount, 3);
    ASSERT_EQ(gif.frames.size(), 3u);
    for (const auto& f : gif.frames) {
        EXPECT_EQ(f.delay, 4);
        EXPECT_EQ(f.width, kW);
        EXPECT_EQ(f.height, kH);
    }
}

TEST_F(CliOutputs, AviCodecsRatesAndKeyFramesAsFfmpegSeesThem)
{
    struct Case {
        std::string codec, ffmpegName;
    };
    for (const Case& c : {Case{"dib", "rawvideo"}, Case{"ffv1", "ffv1"}, Case{"mjpg", "mjpeg"}}) {
        const std::string out = c.codec + ".avi";
        const CliResult r = Morph("moving.txt", out, {"--frames", "6", "--fps", "12", "--codec", c.codec});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string probe = qv::test::ShellOutput(
            "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
            "stream=codec_name,width,height,r_frame_rate,nb_read_frames -of csv=p=0 " +
            qv::test::ShellQuote((dir_ / out).string()));
        EXPECT_EQ(probe, c.ffmpegName + ",41,29,12/1,6\n") << c.codec;
    }
    // Lossless frames are the rendered frames: compare with the PNG stills.
    fs::create_directory(dir_ / "s");
    ASSERT_EQ(Morph("moving.txt", "s/%d.png", {"--frames", "6"}).status, 0);
    for (int f = 0; f < 6; ++f) {
        EXPECT_EQ(qv::test::ReadVideoFrameWithFfmpeg(dir_ / "ffv1.avi", f, kW, kH), Read("s/" + std::to_string(f) + ".png")) << f;
        EXPECT_EQ(qv::test::ReadVideoFrameWithFfmpeg(dir_ / "dib.avi", f, kW, kH), Read("s/" + std::to_string(f) + ".png")) << f;
    }

    // --quality for JPEG stills: ImageMagick estimates the quality it was saved with.
    fs::create_directory(dir_ / "j");
    ASSERT_EQ(Morph("moving.txt", "j/q%d.jpg", {"--frames", "1", "--quality", "40"}).status, 0);
    EXPECT_EQ(qv::test::Identify("%m %Q", dir_ / "j/q0.jpg"), std::vector<std::string>{"JPEG 40"});

    // --keyframes: an inter-frame codec starts a key frame every K frames.
    ASSERT_EQ(Morph("moving.txt", "k.avi", {"--frames", "8", "--codec", "fmp4", "--keyframes", "3"}).status, 0);
    const std::string keys = qv::test::ShellOutput("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of csv=p=0 " +
                                                 qv::test::ShellQuote((dir_ / "k.avi").string()));
    EXPECT_EQ(keys, "1\n0\n0\n1\n0\n0\n1\n0\n");
}

TEST_F(CliOutputs, VideosServeAsInputThroughInfoFrameAndHash)
{
    ASSERT_EQ(Morph("identity.txt", "clip.avi", {"--frames", "5", "--fps", "10", "--codec", "dib"}).status, 0);
    CliResult r = RunCli({"info", "clip.avi"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "clip.avi: 41x29, 10 frames per second, 5 frames (0.50 s)\n");

    r = RunCli({"frame", "clip.avi", "4", "last.png"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote frame 4 of clip.avi (41x29) to last.png\n");
    EXPECT_EQ(Read("last.png"), dest_);
    r = RunCli({"frame", "clip.avi", "0", "big.png", "--zoom", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    const RgbPicture big = Read("big.png");
    ASSERT_EQ(big.width, 82);
    ASSERT_EQ(big.height, 58);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ(big.rgb[static_cast<std::size_t>(((2 * y + 1) * 82 + 2 * x + 1) * 3 + c)],
                          source_.rgb[static_cast<std::size_t>((y * kW + x) * 3 + c)]);
    r = RunCli({"frame", "clip.avi", "5", "x.png"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: 'clip.avi' has frames 0 to 4, not 5\n");

    // Frame 4 of the clip (the destination) as FROM: the morph starts there.
    fs::create_directory(dir_ / "v");
    r = RunCli({"morph", "clip.avi#4", "src.ppm", "--points", "identity.txt", "--out", "v/%d.png", "--frames", "3", "--quiet"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Read("v/0.png"), dest_);
    EXPECT_EQ(Read("v/2.png"), source_);
}

TEST_F(CliOutputs, WeightsChangeTheColourTimingButNotTheEnds)
{
    fs::create_directory(dir_ / "even");
    fs::create_directory(dir_ / "smooth");
    fs::create_directory(dir_ / "flat");
    for (const std::string mode : {"even", "smooth", "flat"}) {
        const CliResult r = Morph("identity.txt", mode + "/%d.png", {"--frames", "5", "--weights", mode});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Read(mode + "/0.png"), source_) << mode;
        EXPECT_EQ(Read(mode + "/4.png"), dest_) << mode;
    }
    // All weights 1: the even dissolve, up to the rounding of the blended weight.
    const RgbPicture even = Read("even/2.png"), smooth = Read("smooth/2.png");
    ASSERT_EQ(even.rgb.size(), smooth.rgb.size());
    for (std::size_t i = 0; i < even.rgb.size(); ++i) ASSERT_LE(std::abs(even.rgb[i] - smooth.rgb[i]), 1) << i;
    std::ofstream(dir_ / "weighted.txt") << "5 5 5 5 4\n20 14 20 14 4\n33 8 33 8 4\n12 24 12 24 4\n";
    fs::create_directory(dir_ / "w");
    ASSERT_EQ(Morph("weighted.txt", "w/%d.png", {"--frames", "5", "--weights", "smooth"}).status, 0);
    EXPECT_NE(Read("w/2.png"), Read("even/2.png"));

    // Without points the mesh is two triangles of corners, which the flat rule gives no weight.
    std::ofstream(dir_ / "none.txt") << "# no points\n";
    const CliResult r = Morph("none.txt", "c.gif", {"--frames", "3", "--weights", "flat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--weights flat"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "c.gif"));
}

}  // namespace

namespace {

// With --bilinear the ends are exact too: the first frame is FROM and the
// last TO, pixel for pixel, while the frames between are sampled bilinearly
// (they differ from a nearest-pixel run), and a --range run that starts or
// ends there gives the same frames.
TEST_F(CliOutputs, BilinearRunsStartAtTheSourceAndEndAtTheDestinationExactly)
{
    for (const char* points : {"identity.txt", "moving.txt"}) {
        const std::string tag = fs::path(points).stem().string();
        fs::create_directory(dir_ / ("bl_" + tag));
        fs::create_directory(dir_ / ("nn_" + tag));
        fs::create_directory(dir_ / ("part_" + tag));
        ASSERT_EQ(Morph(points, "bl_" + tag + "/%d.png", {"--frames", "5", "--bilinear"}).status, 0);
        ASSERT_EQ(Morph(points, "nn_" + tag + "/%d.png", {"--frames", "5"}).status, 0);
        ASSERT_EQ(Morph(points, "part_" + tag + "/%d.png", {"--frames", "5", "--bilinear", "--range", "3:"}).status, 0);
        EXPECT_EQ(Read("bl_" + tag + "/0.png"), source_) << points;
        EXPECT_EQ(Read("bl_" + tag + "/4.png"), dest_) << points;
        EXPECT_EQ(Read("part_" + tag + "/4.png"), dest_) << points;
        EXPECT_EQ(Read("part_" + tag + "/3.png"), Read("bl_" + tag + "/3.png")) << points;
        EXPECT_NE(Read("bl_" + tag + "/2.png"), Read("nn_" + tag + "/2.png")) << points;
    }
    // A single frame is FROM.
    ASSERT_EQ(Morph("moving.txt", "one.png", {"--frames", "1", "--bilinear"}).status, 0);
    EXPECT_EQ(Read("one.png"), source_);
}

}  // namespace

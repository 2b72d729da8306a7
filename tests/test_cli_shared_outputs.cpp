// MP4, WebM, animated WebP and APNG from the quorvane command, read back by
// FFmpeg, GStreamer, ImageMagick and libwebp's webpmux. Lossy codecs end
// close to the source and destination pictures, lossless ones exactly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/animation_frames.h"
#include "support/cli_run.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

constexpr int kW = 40, kH = 30;

// Smooth pictures, a soft blob on gradients: what lossy codecs keep close
// (4:2:0 colour smears hard colour edges at this size).
RgbPicture Scene(int variant)
{
    RgbPicture p{kW, kH, std::vector<uint8_t>(kW * kH * 3)};
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            uint8_t* px = &p.rgb[static_cast<std::size_t>((y * kW + x) * 3)];
            const double dx = x - 12 - variant * 14, dy = y - 15;
            const double blob = std::exp(-(dx * dx + dy * dy) / 60.0);
            px[0] = static_cast<uint8_t>(std::lround((1 - blob) * (x * 4 + variant * 40) + blob * (220 - variant * 120)));
            px[1] = static_cast<uint8_t>(std::lround((1 - blob) * (y * 6) + blob * (90 + variant * 100)));
            px[2] = static_cast<uint8_t>(std::lround((1 - blob) * (200 - x * 3 - variant * 50) + blob * 70));
        }
    return p;
}

std::string FileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The plays count of an APNG file's animation control chunk (big-endian,
// after the frame count).
long ApngPlays(const fs::path& path)
{
    const std::string bytes = FileBytes(path);
    const auto at = bytes.find("acTL");
    if (at == std::string::npos || at + 12 > bytes.size()) return -1;
    long plays = 0;
    for (std::size_t i = at + 8; i < at + 12; ++i) plays = plays << 8 | static_cast<unsigned char>(bytes[i]);
    return plays;
}

class CliSharedOutputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        source_ = Scene(0);
        dest_ = Scene(1);
        qv::test::WritePpm(dir_ / "src.ppm", source_);
        qv::test::WritePpm(dir_ / "dst.ppm", dest_);
        std::ofstream(dir_ / "identity.txt") << "5 5 5 5\n20 14 20 14\n33 8 33 8\n12 24 12 24\n";
        std::ofstream(dir_ / "moving.txt") << "5 5 9 7\n20 14 24 12\n33 8 30 12\n12 24 15 20\n";
    }
    CliResult RunCli(std::vector<std::string> args) { return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path()); }
    CliResult Morph(const std::string& points, const std::string& out, std::vector<std::string> extra,
                    const std::string& from = "src.ppm")
    {
        std::vector<std::string> args = {"morph", from, "dst.ppm", "--points", points, "--out", out, "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    }
    std::string Probe(const std::string& name)
    {
        return qv::test::ShellOutput("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                   "stream=codec_name,width,height,pix_fmt,r_frame_rate,nb_read_frames:format=duration "
                                   "-of csv=p=0 " + qv::test::ShellQuote((dir_ / name).string()));
    }
    // Everything in the directory but the pictures and points made above.
    std::vector<std::string> Leftovers()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_.path())) {
            const std::string n = e.path().filename().string();
            if (n != "src.ppm" && n != "dst.ppm" && n != "identity.txt" && n != "moving.txt") names.push_back(n);
        }
        return names;
    }

    qv::test::ScratchDir dir_{"shared-outputs"};
    RgbPicture source_, dest_;
};

TEST_F(CliSharedOutputs, Mp4AndWebmAsFfmpegAndGStreamerSeeThem)
{
    struct Case {
        std::string name, probe;
    };
    // 7 frames at 12 per second: 0.583333 s.
    for (const Case& c : {Case{"m.mp4", "h264,40,30,yuv420p,12/1,7"}, Case{"m.webm", "vp9,40,30,yuv420p,12/1,7"}}) {
        const CliResult r = Morph("identity.txt", c.name, {"--frames", "7", "--fps", "12"});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string probe = Probe(c.name);
        EXPECT_EQ(probe.substr(0, probe.find('\n')), c.probe);
        // The containers keep time in their own units (MP4 1/12288 s, WebM ms).
        EXPECT_NEAR(std::stod(probe.substr(probe.find('\n') + 1)), 7.0 / 12.0, 0.0015) << c.name;
        const qv::test::GStreamerView gst = qv::test::DecodeWithGStreamer(dir_ / c.name);
        EXPECT_EQ(gst.frames, 7) << c.name;
        EXPECT_EQ(gst.caps, "40x30 12/1") << c.name;
        EXPECT_NEAR(static_cast<double>(gst.durationNs), 583333333.0, 1.5e6) << c.name;
        const std::vector<RgbPicture> frames = qv::test::FramesWithFfmpeg(dir_ / c.name, kW, kH);
        ASSERT_EQ(frames.size(), 7u) << c.name;
        // 4:2:0 colour and the codecs' loss: close, not equal.
        EXPECT_LT(qv::test::MeanDifference(frames.front(), source_), 6.0) << c.name;
        EXPECT_LT(qv::test::MeanDifference(frames.back(), dest_), 6.0) << c.name;
        EXPECT_GT(qv::test::MeanDifference(frames.back(), source_), 20.0) << c.name;
    }
    // MP4 moves its index to the front for streaming: "moov" before "mdat".
    const std::string mp4 = FileBytes(dir_ / "m.mp4");
    ASSERT_NE(mp4.find("mdat"), std::string::npos);
    EXPECT_LT(mp4.find("moov"), mp4.find("mdat"));

    // --quality: a lower quality makes a smaller file; --keyframes every 3.
    ASSERT_EQ(Morph("moving.txt", "lo.mp4", {"--frames", "7", "--quality", "10"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "hi.mp4", {"--frames", "7", "--quality", "95", "--keyframes", "3"}).status, 0);
    EXPECT_LT(fs::file_size(dir_ / "lo.mp4"), fs::file_size(dir_ / "hi.mp4"));
    const std::string keys = qv::test::ShellOutput("ffprobe -v error -select_streams v:0 -show_entries frame=key_frame -of flat " +
                                                 qv::test::ShellQuote((dir_ / "hi.mp4").string()) + " | sed 's/.*key_frame=//'");
    EXPECT_EQ(keys, "1\n0\n0\n1\n0\n0\n1\n");
}

TEST_F(CliSharedOutputs, LosslessAnimationsHoldTheRenderedFramesExactly)
{
    fs::create_directory(dir_ / "s");
    ASSERT_EQ(Morph("moving.txt", "s/%d.png", {"--frames", "6"}).status, 0);
    std::vector<RgbPicture> stills;
    for (int f = 0; f < 6; ++f) stills.push_back(qv::test::ReadWithImageMagick((dir_ / ("s/" + std::to_string(f) + ".png")).string()));

    // APNG by either name; plays counts every showing, 0 for ever.
    ASSERT_EQ(Morph("moving.txt", "a.apng", {"--frames", "6", "--fps", "10", "--loop", "3"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "b.png", {"--frames", "6", "--fps", "10", "--animated"}).status, 0);
    EXPECT_EQ(Probe("a.apng"), "apng,40,30,rgb24,10/1,6\nN/A\n");
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "a.apng", kW, kH), stills);
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "b.png", kW, kH), stills);
    EXPECT_EQ(ApngPlays(dir_ / "a.apng"), 3);
    EXPECT_EQ(ApngPlays(dir_ / "b.png"), 0);

    // WebP: lossless unless --quality; webpmux lists frames, times and loop.
    ASSERT_EQ(Morph("moving.txt", "w.webp", {"--frames", "6", "--fps", "10", "--loop", "2"}).status, 0);
    EXPECT_EQ(qv::test::FramesWithImageMagick(dir_ / "w.webp", kW, kH), stills);
    EXPECT_EQ(qv::test::Identify("%W %H %T", dir_ / "w.webp"), std::vector<std::string>(6, "40 30 10"));
    const std::string info = qv::test::ShellOutput("webpmux -info " + qv::test::ShellQuote((dir_ / "w.webp").string()));
    EXPECT_NE(info.find("Loop Count : 2"), std::string::npos) << info;
    EXPECT_NE(info.find("Number of frames: 6"), std::string::npos) << info;
    ASSERT_EQ(Morph("moving.txt", "forever.webp", {"--frames", "6"}).status, 0);
    EXPECT_NE(qv::test::ShellOutput("webpmux -info " + qv::test::ShellQuote((dir_ / "forever.webp").string())).find("Loop Count : 0"),
              std::string::npos);
    ASSERT_EQ(Morph("moving.txt", "lossy.webp", {"--frames", "6", "--quality", "90"}).status, 0);
    const std::vector<RgbPicture> lossy = qv::test::FramesWithImageMagick(dir_ / "lossy.webp", kW, kH);
    ASSERT_EQ(lossy.size(), 6u);
    EXPECT_NE(lossy.front(), stills.front());
    EXPECT_LT(qv::test::MeanDifference(lossy.front(), stills.front()), 6.0);
    EXPECT_LT(qv::test::MeanDifference(lossy.back(), stills.back()), 6.0);
}

TEST_F(CliSharedOutputs, RangePartsOfAnMp4JoinIntoTheWholeMorph)
{
    ASSERT_EQ(Morph("moving.txt", "p1.mp4", {"--frames", "9", "--range", ":4"}).status, 0);
    ASSERT_EQ(Morph("moving.txt", "p2.mp4", {"--frames", "9", "--range", "4:"}).status, 0);
    std::ofstream(dir_ / "parts.txt") << "file 'p1.mp4'\nfile 'p2.mp4'\n";
    int status = -1;
    qv::test::ShellOutput("cd " + qv::test::ShellQuote(dir_.path().string()) +
                            " && ffmpeg -v error -f concat -safe 0 -i parts.txt -c copy joined.mp4",
                        &status);
    ASSERT_EQ(status, 0);
    const std::string joined = Probe("joined.mp4");
    // (FFmpeg guesses the joined file's rate from its time stamps: not checked.)
    EXPECT_EQ(joined.substr(0, 18), "h264,40,30,yuv420p");
    EXPECT_EQ(joined.substr(joined.find('\n') - 2, 2), ",9");
    EXPECT_NEAR(std::stod(joined.substr(joined.find('\n') + 1)), 0.6, 0.0015);
    std::vector<RgbPicture> parts = qv::test::FramesWithFfmpeg(dir_ / "p1.mp4", kW, kH);
    const std::vector<RgbPicture> second = qv::test::FramesWithFfmpeg(dir_ / "p2.mp4", kW, kH);
    parts.insert(parts.end(), second.begin(), second.end());
    ASSERT_EQ(parts.size(), 9u);
    // Copied, not re-encoded: the joined frames are the parts' frames.
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "joined.mp4", kW, kH), parts);
    fs::create_directory(dir_ / "s");
    ASSERT_EQ(Morph("moving.txt", "s/%d.png", {"--frames", "9"}).status, 0);
    for (int f = 0; f < 9; ++f)
        EXPECT_LT(qv::test::MeanDifference(parts[static_cast<std::size_t>(f)],
                                         qv::test::ReadWithImageMagick((dir_ / ("s/" + std::to_string(f) + ".png")).string())),
                  5.0)
            << f;
}

TEST_F(CliSharedOutputs, OptionsThatDoNotApplyAndOddSizesAreRefusedLeavingNoFile)
{
    struct Case {
        std::string out;
        std::vector<std::string> extra;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"x.mp4", {"--loop", "2"}, "quorvane: --loop applies to .gif, .webp and animated .png output only\n"},
        {"x.webm", {"--codec", "ffv1"}, "quorvane: --codec applies to .avi output only\n"},
        {"x.apng", {"--quality", "50"}, "quorvane: --quality applies to .avi, .mp4, .webm, .webp and .jpg output only\n"},
        {"x.webp", {"--keyframes", "5"}, "quorvane: --keyframes applies to .avi, .mp4 and .webm output only\n"},
        {"x%d.jpg", {"--animated"}, "quorvane: --animated applies to .png output only\n"},
        {"x.mp4", {"--gif-writer", "library"}, "quorvane: --gif-writer applies to .gif output only\n"},
        {"x.gif", {"--gif-writer", "fast"}, "quorvane: --gif-writer: 'fast' is not compact or library\n"},
        {"x.mp4", {"--size", "41x29"},
         "quorvane: cannot write 'x.mp4': H.264 in MP4 needs even sizes and the morph is 41x29; give --size 42x30 "
         "(or write .webm, which takes any size)\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> extra = c.extra;
        extra.insert(extra.end(), {"--frames", "3"});
        const CliResult r = Morph("identity.txt", c.out, extra);
        EXPECT_NE(r.status, 0) << c.out;
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << c.out;
    }
    // VP9 takes odd sizes.
    const CliResult r = Morph("identity.txt", "odd.webm", {"--frames", "3", "--size", "41x29"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Probe("odd.webm").substr(0, 17), "vp9,41,29,yuv420p");
}

}  // namespace

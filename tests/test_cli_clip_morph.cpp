// Morphs between whole clips: frame i of N morphs frame floor(i * length / N)
// of each clip, so every frame must equal the command's morph of those two
// single frames ("clip.avi#j") at the same point of an N-frame morph.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "clip_input.h"
#include "support/animation_frames.h"
#include "support/cli_run.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

constexpr int kW = 36, kH = 24;

RgbPicture Noise(unsigned seed)
{
    std::mt19937 random(seed);
    RgbPicture p{kW, kH, std::vector<uint8_t>(kW * kH * 3)};
    for (uint8_t& b : p.rgb) b = static_cast<uint8_t>(random());
    return p;
}

TEST(ClipFrameFor, SamplesLongerClipsEvenlyAndHoldsShorterOnes)
{
    std::vector<int> got;
    for (int i = 0; i < 3; ++i) got.push_back(qvcli::ClipFrameFor(i, 3, 6));
    EXPECT_EQ(got, (std::vector<int>{0, 2, 4}));
    got.clear();
    for (int i = 0; i < 9; ++i) got.push_back(qvcli::ClipFrameFor(i, 9, 6));
    EXPECT_EQ(got, (std::vector<int>{0, 0, 1, 2, 2, 3, 4, 4, 5}));
    got.clear();
    for (int i = 0; i < 5; ++i) got.push_back(qvcli::ClipFrameFor(i, 5, 5));
    EXPECT_EQ(got, (std::vector<int>{0, 1, 2, 3, 4}));
    // No overflow at the largest counts.
    EXPECT_EQ(qvcli::ClipFrameFor(32766, 32767, 1000000), 999969);
}

class CliClipMorph : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::WritePpm(dir_ / "a.ppm", Noise(1));
        qv::test::WritePpm(dir_ / "b.ppm", Noise(2));
        qv::test::WritePpm(dir_ / "c.ppm", Noise(3));
        std::ofstream(dir_ / "none.txt") << "# no points\n";
        std::ofstream(dir_ / "moving.txt") << "5 5 9 7\n20 14 24 12\n30 8 28 12\n12 20 15 18\n";
        // A lossless clip of 6 different frames, and a shorter one of 4.
        ASSERT_EQ(Cli({"morph", "a.ppm", "b.ppm", "--points", "moving.txt", "--out", "six.avi", "--frames", "6", "--codec",
                       "ffv1", "--quiet"})
                      .status,
                  0);
        ASSERT_EQ(Cli({"morph", "b.ppm", "c.ppm", "--points", "moving.txt", "--out", "four.avi", "--frames", "4", "--codec",
                       "ffv1", "--quiet"})
                      .status,
                  0);
    }
    CliResult Cli(std::vector<std::string> args) { return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path()); }
    RgbPicture Png(const std::string& name) { return qv::test::ReadWithImageMagick((dir_ / name).string()); }

    // Frame `frame` of an N-frame morph of two single pictures, as a still.
    RgbPicture StillMorph(const std::string& from, const std::string& to, const std::string& points, int frame, int frames)
    {
        const std::string out = "still_" + std::to_string(frame) + "_" + std::to_string(frames) + ".png";
        const CliResult r = Cli({"morph", from, to, "--points", points, "--out", out, "--frames", std::to_string(frames),
                                 "--range", std::to_string(frame) + ":" + std::to_string(frame + 1), "--quiet"});
        EXPECT_EQ(r.status, 0) << r.err;
        return Png(out);
    }

    qv::test::ScratchDir dir_{"clip-morph"};
};

TEST_F(CliClipMorph, AClipIntoItselfKeepsItsEndsAndMorphsEachFrameWithItself)
{
    // --frames defaults to the clip's length; APNG is lossless.
    const CliResult r = Cli({"morph", "six.avi", "six.avi", "--points", "none.txt", "--out", "self.apng", "--threads", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "wrote 6 frames (36x24) to self.apng\n");
    const std::vector<RgbPicture> frames = qv::test::FramesWithFfmpeg(dir_ / "self.apng", kW, kH);
    ASSERT_EQ(frames.size(), 6u);
    EXPECT_EQ(frames.front(), qv::test::ReadVideoFrameWithFfmpeg(dir_ / "six.avi", 0, kW, kH));
    EXPECT_EQ(frames.back(), qv::test::ReadVideoFrameWithFfmpeg(dir_ / "six.avi", 5, kW, kH));
    for (int i = 1; i < 5; ++i) {
        const std::string frame = "six.avi#" + std::to_string(i);
        EXPECT_EQ(frames[static_cast<std::size_t>(i)], StillMorph(frame, frame, "none.txt", i, 6)) << i;
        // Sampled half a pixel apart, a picture morphed into itself is not itself.
        EXPECT_NE(frames[static_cast<std::size_t>(i)], qv::test::ReadVideoFrameWithFfmpeg(dir_ / "six.avi", i, kW, kH)) << i;
    }
}

TEST_F(CliClipMorph, FramesOfClipsLongerAndShorterThanTheMorph)
{
    struct Case {
        std::string from, to;
        int frames;
    };
    // six.avi against four.avi (default: 4 frames), 3 frames (both sampled), 9 (both held);
    // a still picture against a clip.
    for (const Case& c : {Case{"six.avi", "four.avi", 0}, Case{"six.avi", "four.avi", 3}, Case{"six.avi", "four.avi", 9},
                          Case{"c.ppm", "six.avi", 4}}) {
        const std::string label = c.from + " " + c.to + " " + std::to_string(c.frames);
        fs::remove_all(dir_ / "out");
        fs::create_directory(dir_ / "out");
        std::vector<std::string> args = {"morph", c.from, c.to, "--points", "moving.txt", "--out", "out/%d.png", "--quiet"};
        if (c.frames > 0) args.insert(args.end(), {"--frames", std::to_string(c.frames)});
        const CliResult r = Cli(args);
        ASSERT_EQ(r.status, 0) << label << ": " << r.err;
        const int frames = c.frames > 0 ? c.frames : 4;
        EXPECT_TRUE(fs::exists(dir_ / ("out/" + std::to_string(frames - 1) + ".png"))) << label;
        EXPECT_FALSE(fs::exists(dir_ / ("out/" + std::to_string(frames) + ".png"))) << label;
        for (int i = 0; i < frames; ++i) {
            auto pick = [&](const std::string& name, int length) {
                return length == 0 ? name : name + "#" + std::to_string(qvcli::ClipFrameFor(i, frames, length));
            };
            const std::string from = pick(c.from, c.from == "six.avi" ? 6 : 0);
            const std::string to = pick(c.to, c.to == "four.avi" ? 4 : c.to == "six.avi" ? 6 : 0);
            EXPECT_EQ(Png("out/" + std::to_string(i) + ".png"), StillMorph(from, to, "moving.txt", i, frames))
                << label << " frame " << i << " (" << from << " to " << to << ")";
        }
    }
}

TEST_F(CliClipMorph, ClipsInOtherContainersAreWholeClipsToo)
{
    // The lossless clip copied into Matroska gives the same morph as the AVI.
    int status = -1;
    qv::test::ShellOutput("cd " + qv::test::ShellQuote(dir_.path().string()) + " && ffmpeg -v error -i six.avi -c copy six.mkv",
                        &status);
    ASSERT_EQ(status, 0);
    for (const std::string from : {"six.avi", "six.mkv"}) {
        const CliResult r = Cli({"morph", from, "four.avi", "--points", "moving.txt", "--out", from + ".apng"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "wrote 4 frames (36x24) to " + from + ".apng\n");
    }
    EXPECT_EQ(qv::test::FramesWithFfmpeg(dir_ / "six.mkv.apng", kW, kH), qv::test::FramesWithFfmpeg(dir_ / "six.avi.apng", kW, kH));

    // MP4 and WebM clips written by the command: their frame counts set
    // --frames, and each frame is the morph of the matching decoded frames.
    for (const std::string clip : {"five.mp4", "five.webm"}) {
        ASSERT_EQ(Cli({"morph", "a.ppm", "c.ppm", "--points", "moving.txt", "--out", clip, "--frames", "5", "--quiet"}).status, 0);
        fs::remove_all(dir_ / "out");
        fs::create_directory(dir_ / "out");
        const CliResult r = Cli({"morph", "six.avi", clip, "--points", "moving.txt", "--out", "out/%d.png"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "wrote 5 frames (36x24) to out/0.png ... out/4.png\n") << clip;
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(Png("out/" + std::to_string(i) + ".png"),
                      StillMorph("six.avi#" + std::to_string(qvcli::ClipFrameFor(i, 5, 6)), clip + "#" + std::to_string(i),
                                 "moving.txt", i, 5))
                << clip << " frame " << i;
    }
}

TEST_F(CliClipMorph, ClipsThatCannotBeReadAreNamedAndLeaveNoFile)
{
    // A sound-only AVI, a sound file, an AVI cut short inside its header and
    // one cut short after its first frames.
    int status = -1;
    qv::test::ShellOutput("cd " + qv::test::ShellQuote(dir_.path().string()) +
                            " && ffmpeg -v error -f lavfi -i sine=duration=0.2 sound.avi"
                            " && ffmpeg -v error -f lavfi -i sine=duration=0.2 sound.wav"
                            " && head -c 100 six.avi > cut.avi"
                            " && head -c $(($(stat -c %s six.avi) / 2)) six.avi > half.avi",
                        &status);
    ASSERT_EQ(status, 0);
    struct Case {
        std::string input, message;
    };
    for (const Case& c : {Case{"sound.avi", "quorvane: cannot read video 'sound.avi': it has no video stream\n"},
                          Case{"sound.wav", "quorvane: cannot read video 'sound.wav': it has no video stream\n"},
                          Case{"cut.avi", "quorvane: cannot read video 'cut.avi': not a video file FFmpeg knows\n"},
                          Case{"half.avi", "of 'half.avi': the frame cannot be decoded\n"}}) {
        for (const bool first : {true, false}) {
            const CliResult r = Cli({"morph", first ? c.input : "six.avi", first ? "six.avi" : c.input, "--points", "none.txt",
                                     "--out", "x.mp4", "--quiet"});
            EXPECT_EQ(r.status, 1) << c.input;
            if (c.input == "half.avi") {
                // Found when its frame is reached, on a rendering thread.
                EXPECT_EQ(r.err.rfind("quorvane: rendering stopped: cannot read frame ", 0), 0u) << r.err;
                EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
            } else {
                EXPECT_EQ(r.err, c.message);
            }
            for (const auto& e : fs::directory_iterator(dir_.path()))
                EXPECT_EQ(e.path().filename().string().find("x.mp4"), std::string::npos) << c.input;
        }
    }
}

}  // namespace

// Video inputs of the quorvane command beyond AVI: info, frame and
// "clip#N" pictures on MP4, MKV, WebM and MOV files, frames equal to
// FFmpeg's decoding; still pictures and other files given as videos are
// refused with a plain message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace fs = std::filesystem;
using qv::test::CliResult;

namespace {

CliResult RunCli(const std::vector<std::string>& args, const fs::path& dir)
{
    return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir);
}

struct Container {
    const char* name;
    const char* args;  // ffmpeg output options
};

// 40 x 30, 25 frames per second, 6 frames.
const Container kContainers[] = {
    {"clip.mp4", "-c:v libx264 -preset ultrafast -pix_fmt yuv420p"},
    {"clip.mkv", "-c:v ffv1"},
    {"clip.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8"},
    {"clip.mov", "-c:v qtrle"},
};

class CliVideoInputs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        for (const Container& c : kContainers) {
            int status = 0;
            qv::test::ShellOutput("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=40x30:rate=25 -frames:v 6 " +
                                    std::string(c.args) + " " + qv::test::ShellQuote((dir_->path() / c.name).string()),
                                &status);
            ASSERT_EQ(0, status) << c.name;
        }
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }
    static fs::path Path(const std::string& name) { return dir_->path() / name; }
    static inline qv::test::ScratchDir* dir_ = new qv::test::ScratchDir("video-inputs");
};

TEST_F(CliVideoInputs, InfoReadsEveryContainer)
{
    for (const Container& c : kContainers) {
        const CliResult r = RunCli({"info", c.name}, dir_->path());
        EXPECT_EQ(0, r.status) << c.name << ": " << r.err;
        EXPECT_EQ(std::string(c.name) + ": 40x30, 25 frames per second, 6 frames (0.24 s)\n", r.out);
        EXPECT_EQ("", r.err);
    }
}

TEST_F(CliVideoInputs, FrameSavesFfmpegsDecodingFromEveryContainer)
{
    for (const Container& c : kContainers) {
        const std::string out = std::string(c.name) + "-4.png";
        const CliResult r = RunCli({"frame", c.name, "4", out}, dir_->path());
        ASSERT_EQ(0, r.status) << c.name << ": " << r.err;
        const qv::test::RgbPicture saved = qv::test::ReadWithImageMagick(Path(out).string());
        const qv::test::RgbPicture reference = qv::test::ReadVideoFrameWithFfmpeg(Path(c.name), 4, 40, 30);
        ASSERT_EQ(40, reference.width) << c.name;
        EXPECT_TRUE(saved == reference) << c.name;
    }
}

TEST_F(CliVideoInputs, FramesOfEveryContainerServeAsPictures)
{
    std::ofstream(Path("points.txt")) << "10 10 12 11\n";
    for (const Container& c : kContainers) {
        const std::string from = std::string(c.name) + "#1", to = std::string(c.name) + "#5";
        const std::string out = std::string(c.name) + "-morph_%d.png";
        const CliResult r = RunCli({"morph", from, to, "--points", "points.txt", "--out", out, "--frames", "2", "--quiet"},
                                   dir_->path());
        ASSERT_EQ(0, r.status) << c.name << ": " << r.err;
        // The first frame of a morph is FROM itself.
        const qv::test::RgbPicture first = qv::test::ReadWithImageMagick(Path(std::string(c.name) + "-morph_0.png").string());
        EXPECT_TRUE(first == qv::test::ReadVideoFrameWithFfmpeg(Path(c.name), 1, 40, 30)) << c.name;
    }
}

TEST_F(CliVideoInputs, StillPicturesAndOtherFilesAreRefusedAsVideos)
{
    qv::test::WritePpm(Path("still.ppm"), qv::test::RgbPicture{2, 1, {1, 2, 3, 4, 5, 6}});
    std::ofstream(Path("notes.dat")) << "these are notes, not a video\n";
    CliResult r = RunCli({"info", "still.ppm"}, dir_->path());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("quorvane: cannot read video 'still.ppm': it is a still picture, not a video\n", r.err);
    r = RunCli({"frame", "notes.dat", "0", "x.png"}, dir_->path());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("quorvane: cannot read video 'notes.dat': no video stream the reader can open\n", r.err);
    std::ofstream(Path("empty.mp4")).flush();
    r = RunCli({"info", "empty.mp4"}, dir_->path());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("quorvane: cannot read video 'empty.mp4': not a video file FFmpeg knows\n", r.err);
    r = RunCli({"info", "clip.mkv#2"}, dir_->path());
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("quorvane: cannot read video 'clip.mkv#2': no such file\n", r.err);
}

}  // namespace

// The quorvane command run as a user runs it: the bundled demo, --help for
// every command, and mistakes (bad points lines, pictures of two sizes,
// missing files, unwritable outputs) that must fail with a message naming
// the file and leave no output behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/gif_decoded.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

CliResult RunCli(const std::vector<std::string>& args, const fs::path& dir)
{
    return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir);
}

RgbPicture Gradient(int width, int height, int seed)
{
    RgbPicture p{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            p.rgb.push_back(static_cast<uint8_t>(x * 5 + seed));
            p.rgb.push_back(static_cast<uint8_t>(y * 7 + seed * 3));
            p.rgb.push_back(static_cast<uint8_t>((x ^ y) + seed * 11));
        }
    return p;
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

// Files in `dir` other than the inputs the test wrote.
std::vector<std::string> Leftovers(const fs::path& dir, const std::vector<std::string>& inputs)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (std::find(inputs.begin(), inputs.end(), name) == inputs.end()) names.push_back(name);
    }
    return names;
}

double MeanDifference(const RgbPicture& a, const RgbPicture& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
    return sum / static_cast<double>(a.rgb.size());
}

TEST(CliDemo, WritesTheBundledMorphIntoTheCurrentDirectory)
{
    qv::test::ScratchDir dir("demo");
    const CliResult r = RunCli({"demo"}, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path gif = dir / "quorvane-demo.gif";
    EXPECT_EQ(r.out, "wrote 40 frames (240x180) to " + gif.string() + "\n");
    EXPECT_EQ(r.err, "");  // no progress bar when stderr is not a terminal
    EXPECT_EQ(Leftovers(dir.path(), {}), std::vector<std::string>{"quorvane-demo.gif"});

    // ImageMagick: 40 frames of 240x180, each shown 5 hundredths (20 fps).
    const auto frames = qv::test::Identify("%w %h %T", gif);
    ASSERT_EQ(frames.size(), 40u);
    for (const std::string& f : frames) EXPECT_EQ(f, "240 180 5");
    // giflib: loops for ever.
    const qv::test::DecodedGif decoded = qv::test::DecodeWithGiflib(gif.string());
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.loopCount, 0);
    EXPECT_EQ(decoded.frames.size(), 40u);

    // The first and last frames are the demo's two pictures, up to the
    // 256-colour reduction; the middle frame is neither.
    const CliResult inputs = RunCli({"demo", "--inputs", "in"}, dir.path());
    ASSERT_EQ(inputs.status, 0) << inputs.err;
    const RgbPicture from = qv::test::ReadWithImageMagick((dir / "in/demo-from.png").string());
    const RgbPicture to = qv::test::ReadWithImageMagick((dir / "in/demo-to.png").string());
    const RgbPicture first = qv::test::ReadWithImageMagick(gif.string() + "[0]");
    const RgbPicture middle = qv::test::ReadWithImageMagick(gif.string() + "[20]");
    const RgbPicture last = qv::test::ReadWithImageMagick(gif.string() + "[39]");
    EXPECT_LT(MeanDifference(first, from), 2.0);
    EXPECT_LT(MeanDifference(last, to), 2.0);
    EXPECT_GT(MeanDifference(middle, from), 10.0);
    EXPECT_GT(MeanDifference(middle, to), 10.0);
}

TEST(CliDemo, InputsRunThroughMorphAndMesh)
{
    qv::test::ScratchDir dir("demo-inputs");
    ASSERT_EQ(RunCli({"demo", "--inputs", "."}, dir.path()).status, 0);
    const CliResult morph = RunCli({"morph", "demo-from.png", "demo-to.png", "--points", "demo-points.txt", "--out",
                                 "m.gif", "--frames", "6", "--quiet"},
                                dir.path());
    ASSERT_EQ(morph.status, 0) << morph.err;
    EXPECT_EQ(morph.out, "");
    EXPECT_EQ(qv::test::Identify("%w %h", dir / "m.gif").size(), 6u);

    const CliResult mesh = RunCli({"mesh", "demo-from.png", "demo-to.png", "--points", "demo-points.txt", "--out",
                                "mesh.png"},
                               dir.path());
    ASSERT_EQ(mesh.status, 0) << mesh.err;
    EXPECT_EQ(mesh.out, "wrote mesh.png: 14 points, 30 triangles, 0 turned over\n");
    // The first point is at (85, 62): a magenta dot with a black rim.
    const RgbPicture drawn = qv::test::ReadWithImageMagick((dir / "mesh.png").string());
    ASSERT_EQ(drawn.width, 240);
    auto at = [&](int x, int y) {
        const std::size_t i = static_cast<std::size_t>(y * drawn.width + x) * 3;
        return std::vector<int>{drawn.rgb[i], drawn.rgb[i + 1], drawn.rgb[i + 2]};
    };
    EXPECT_EQ(at(85, 62), (std::vector<int>{255, 64, 255}));
    EXPECT_EQ(at(87, 62), (std::vector<int>{0, 0, 0}));
}

TEST(CliHelp, EveryCommandExplainsItself)
{
    qv::test::ScratchDir dir("help");
    for (const std::string command : {"demo", "morph", "mesh", "info", "frame", "codecs"}) {
        for (const std::string flag : {"--help", "-h"}) {
            const CliResult r = RunCli({command, flag}, dir.path());
            EXPECT_EQ(r.status, 0) << command;
            EXPECT_EQ(r.out.rfind("usage: quorvane " + command, 0), 0u) << command << ": " << r.out;
            EXPECT_EQ(r.err, "");
        }
        EXPECT_EQ(RunCli({"help", command}, dir.path()).out, RunCli({command, "--help"}, dir.path()).out);
    }
    const CliResult top = RunCli({"--help"}, dir.path());
    EXPECT_EQ(top.status, 0);
    EXPECT_EQ(top.out.rfind("usage: quorvane COMMAND", 0), 0u);
    const CliResult none = RunCli({}, dir.path());
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err.rfind("usage: quorvane COMMAND", 0), 0u);
    const CliResult unknown = RunCli({"morhp"}, dir.path());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("quorvane: unknown command 'morhp'\n", 0), 0u);
}

class CliMistakes : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::WritePpm(dir_ / "a.ppm", Gradient(40, 30, 1));
        qv::test::WritePpm(dir_ / "b.ppm", Gradient(40, 30, 2));
        qv::test::WritePpm(dir_ / "wide.ppm", Gradient(50, 30, 3));
        WriteText(dir_ / "ok.txt", "10 10 12 11\n30 20 28 22\n");
    }
    CliResult Morph(const std::string& from, const std::string& to, const std::string& points, const std::string& out,
                    std::vector<std::string> extra = {})
    {
        std::vector<std::string> args = {"morph", from, to, "--points", points, "--out", out, "--frames", "4"};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args, dir_.path());
    }
    std::vector<std::string> Inputs() const { return {"a.ppm", "b.ppm", "wide.ppm", "ok.txt", "bad.txt", "ro"}; }

    qv::test::ScratchDir dir_{"mistakes"};
};

TEST_F(CliMistakes, BadPointsLinesAreReportedWithFileAndLine)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"# ok\n10 10 10 10\n5 5 5\n", "bad.txt:3: expected 4 or 5 numbers (srcX srcY dstX dstY [weight]), found 3"},
        {"10 10 ten 10\n", "bad.txt:1: 'ten' is not a number"},
        {"10 10 10 10\n\n45 10 10 10\n",
         "bad.txt:3: source point (45, 10) lies outside the source picture (40x30, x 0 to 39, y 0 to 29)"},
        {"10 10 10 30\n", "bad.txt:1: destination point (10, 30) lies outside the destination picture (40x30, x 0 to 39, y 0 to 29)"},
        {"10 10 10 10\n10 10 20 20\n", "bad.txt:2: source point (10, 10) is the same place as the point on line 1"},
        {"0 29 5 5\n", "bad.txt:1: source point (0, 29) is a picture corner, which is always part of the mesh; leave it out"},
        {"10 10 10 10 -2\n", "bad.txt:1: weight must be above 0 and at most 1000 (1 turns evenly)"},
        {"[[10, 10, 10]]\n", "bad.txt:1: a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight]), found 3"},
    };
    for (const auto& [text, message] : cases) {
        WriteText(dir_ / "bad.txt", text);
        const CliResult r = Morph("a.ppm", "b.ppm", "bad.txt", "out.gif");
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_EQ(r.err, "quorvane: " + message + "\n");
        EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});
    }
}

TEST_F(CliMistakes, PicturesOfTwoSizesNeedSize)
{
    const CliResult r = Morph("a.ppm", "wide.ppm", "ok.txt", "out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: the pictures differ in size: 'a.ppm' is 40x30, 'wide.ppm' is 50x30; give --size "
                     "WxH to scale both (points are scaled with them)\n");
    EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});

    const CliResult scaled = Morph("a.ppm", "wide.ppm", "ok.txt", "out.gif", {"--size", "64x48", "--quiet"});
    ASSERT_EQ(scaled.status, 0) << scaled.err;
    const auto frames = qv::test::Identify("%w %h", dir_ / "out.gif");
    EXPECT_EQ(frames, std::vector<std::string>(4, "64 48"));
}

TEST_F(CliMistakes, MissingFilesAreNamed)
{
    CliResult r = Morph("a.ppm", "nothere.png", "ok.txt", "out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot read picture 'nothere.png': no such file\n");
    r = Morph("a.ppm", "b.ppm", "nopoints.txt", "out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot read points file 'nopoints.txt': No such file or directory\n");
    WriteText(dir_ / "bad.txt", "this is not a picture");
    r = Morph("a.ppm", "bad.txt", "ok.txt", "out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot read picture 'bad.txt': not a picture format FreeImage knows\n");
    r = Morph("nothere.avi#3", "b.ppm", "ok.txt", "out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot read video 'nothere.avi': no such file\n");
    r = RunCli({"info", "b.ppm"}, dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot read video 'b.ppm': it is a still picture, not a video\n");
    EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});
}

TEST_F(CliMistakes, UnwritableOutputsFailAndLeaveNothing)
{
    // A folder that cannot be made: the file's own message, and nothing made.
    fs::create_directory(dir_ / "ro");
    WriteText(dir_ / "ro/file", "");
    CliResult r = Morph("a.ppm", "b.ppm", "ok.txt", "ro/file/sub/out.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot write 'ro/file/sub/out.gif': no such directory 'ro/file/sub'\n");
    fs::remove(dir_ / "ro/file");
    r = Morph("a.ppm", "b.ppm", "ok.txt", "ro");
    EXPECT_EQ(r.status, 2);  // no output kind in the name
    fs::create_directory(dir_ / "ro/x.gif");
    r = Morph("a.ppm", "b.ppm", "ok.txt", "ro/x.gif");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot write 'ro/x.gif': it is a directory\n");
    for (const std::string out : {"/proc/quorvane.gif", "/proc/quorvane.avi", "/proc/quorvane_%02d.png"}) {
        r = Morph("a.ppm", "b.ppm", "ok.txt", out);
        EXPECT_EQ(r.status, 1) << out;
        EXPECT_NE(r.err.find("quorvane: cannot write '/proc/quorvane"), std::string::npos) << r.err;
    }
    r = RunCli({"mesh", "a.ppm", "--points", "ok.txt", "--out", "/proc/mesh.png"}, dir_.path());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("quorvane: cannot write '/proc/mesh.png': ", 0), 0u) << r.err;
    EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});
    EXPECT_TRUE(fs::is_empty(dir_ / "ro/x.gif"));
}

// Missing folders above an output are made, for every kind of output; a
// run that fails removes the folders it made.
TEST_F(CliMistakes, OutputFoldersAreCreated)
{
    for (const std::string out : {"n/e/w/out.gif", "n/v/out.avi", "n/s/f_%02d.png"}) {
        const CliResult r = Morph("a.ppm", "b.ppm", "ok.txt", out, {"--quiet"});
        EXPECT_EQ(r.status, 0) << out << ": " << r.err;
    }
    EXPECT_TRUE(fs::exists(dir_ / "n/e/w/out.gif"));
    EXPECT_TRUE(fs::exists(dir_ / "n/v/out.avi"));
    EXPECT_TRUE(fs::exists(dir_ / "n/s/f_03.png"));
    EXPECT_EQ(RunCli({"mesh", "a.ppm", "--points", "ok.txt", "--out", "m/mesh.png"}, dir_.path()).status, 0);
    EXPECT_TRUE(fs::exists(dir_ / "m/mesh.png"));
    fs::remove_all(dir_ / "n");
    fs::remove_all(dir_ / "m");
    const CliResult failed = Morph("a.ppm", "b.ppm", "ok.txt", "x/y/out.avi", {"--codec", "ask"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});
}

// Saving one picture under a name of another kind suggests the kinds that
// can be saved; --threads 0 is one thread per core.
TEST_F(CliMistakes, PictureNamesAndThreadCounts)
{
    CliResult r = RunCli({"mesh", "a.ppm", "--points", "ok.txt", "--out", "z.bmp"}, dir_.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorvane: cannot save a picture as 'z.bmp': name it .png, .jpg or .tif\n");
    r = RunCli({"mesh", "a.ppm", "--points", "ok.txt", "--out", "z.gif"}, dir_.path());
    EXPECT_EQ(r.err, "quorvane: cannot save a picture as 'z.gif': name it .png, .jpg or .tif\n");
    r = RunCli({"frame", "a.avi", "0", "z.bmp"}, dir_.path());
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorvane: cannot save a picture as 'z.bmp': name it .png, .jpg or .tif\n");
    r = Morph("a.ppm", "b.ppm", "ok.txt", "t.gif", {"--threads", "0", "--quiet"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Morph("a.ppm", "b.ppm", "ok.txt", "t.gif", {"--threads", "257"});
    EXPECT_EQ(r.err, "quorvane: --threads must be from 0 to 256, not 257\n");
    fs::remove(dir_ / "t.gif");
}

// The demo's help gives the demo's own defaults, once.
TEST(CliHelp, DemoHelpShowsTheDemosDefaults)
{
    qv::test::ScratchDir dir("demo-help");
    const CliResult r = RunCli({"demo", "--help"}, dir.path());
    EXPECT_NE(r.out.find("(default 40)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(default 20; GIF"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("30"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("nearest pixel"), std::string::npos) << r.out;
    const CliResult morph = RunCli({"morph", "--help"}, dir.path());
    EXPECT_NE(morph.out.find("(default 30)"), std::string::npos);
    EXPECT_NE(morph.out.find("(default 15; GIF"), std::string::npos);
}

TEST_F(CliMistakes, BadOptionsAreUsageErrors)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--frames", "0"}, "--frames must be from 1 to 32767, not 0"},
        {{"--range", "2:9"}, "--range 2:9 runs past the last frame (the morph has frames 0 to 3)"},
        {{"--fps", "120"}, "--fps must be from 0.01 to 100, not 120"},
        {{"--codec", "mjpg"}, "--codec applies to .avi output only"},
        {{"--key-fade"}, "--key-fade works together with --key-color"},
        {{"--weights", "heavy"}, "--weights: 'heavy' is not smooth, flat or even"},
        {{"--background", "red"}, "--background: 'red' is not a colour like FF8000 (red, green, blue in hex)"},
        {{"--sise", "2x2"}, "unknown option --sise for 'morph' (see quorvane morph --help)"},
    };
    for (const auto& [extra, message] : cases) {
        const CliResult r = Morph("a.ppm", "b.ppm", "ok.txt", "out.gif", extra);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.err, "quorvane: " + message + "\n");
    }
    CliResult r = Morph("a.ppm", "b.ppm", "ok.txt", "out.png");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorvane: 'out.png' has no frame number field for 4 frames; name the stills like frame_%04d.png\n");
    r = Morph("a.ppm", "b.ppm", "ok.txt", "out.avi", {"--codec", "nosuch"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("quorvane: --codec: no compressor 'nosuch' in this build; available:\n  dib ", 0), 0u) << r.err;
    // Nobody at the terminal to choose a compressor: the choice is cancelled.
    r = Morph("a.ppm", "b.ppm", "ok.txt", "out.avi", {"--codec", "ask"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: cannot write 'out.avi': the compressor choice was cancelled\n");
    EXPECT_EQ(Leftovers(dir_.path(), Inputs()), std::vector<std::string>{});
}

}  // namespace

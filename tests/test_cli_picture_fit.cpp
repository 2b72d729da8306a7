// Pictures of another shape than --size: a warning when they are stretched,
// and --fit letterbox or crop, which keep the shape. The first frame of a
// morph is FROM as placed in the output, so its pixels show the placement.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "picture_fit.h"
#include "support/cli_run.h"

namespace {

using qv::test::CliResult;
using qv::test::RgbPicture;
namespace fs = std::filesystem;

RgbPicture Pattern(int width, int height)
{
    RgbPicture p{width, height, std::vector<uint8_t>(std::size_t(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.rgb[(std::size_t(y) * width + x) * 3];
            px[0] = static_cast<uint8_t>(x * 5);
            px[1] = static_cast<uint8_t>(y * 8);
            px[2] = static_cast<uint8_t>(200 + (x + y) % 7);
        }
    return p;
}

// Columns [x0, x0 + width) and rows [y0, y0 + height) of a picture.
RgbPicture Part(const RgbPicture& p, int x0, int y0, int width, int height)
{
    RgbPicture part{width, height, {}};
    for (int y = y0; y < y0 + height; ++y)
        for (int x = x0; x < x0 + width; ++x)
            for (int c = 0; c < 3; ++c) part.rgb.push_back(p.rgb[(std::size_t(y) * p.width + x) * 3 + c]);
    return part;
}

bool AllOneColour(const RgbPicture& p, uint8_t r, uint8_t g, uint8_t b)
{
    for (std::size_t i = 0; i < p.rgb.size(); i += 3)
        if (p.rgb[i] != r || p.rgb[i + 1] != g || p.rgb[i + 2] != b) return false;
    return !p.rgb.empty();
}

class CliPictureFit : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::WritePpm(dir_ / "wide.ppm", Pattern(50, 30));
        qv::test::WritePpm(dir_ / "four3.ppm", Pattern(40, 30));
        std::ofstream(dir_ / "p.txt") << "20 10 22 12\n30 20 28 22\n";
    }
    CliResult Morph(const std::string& from, const std::string& out, std::vector<std::string> extra)
    {
        std::vector<std::string> args = {"morph", from, from, "--points", "p.txt", "--out", out, "--frames", "3",
                                         "--range", ":1", "--background", "102030"};
        args.insert(args.end(), extra.begin(), extra.end());
        return qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path());
    }
    RgbPicture Read(const std::string& name) { return qv::test::ReadWithImageMagick((dir_ / name).string()); }
    qv::test::ScratchDir dir_{"fit"};
};

TEST_F(CliPictureFit, StretchingToAnotherShapeIsWarnedAbout)
{
    CliResult r = Morph("wide.ppm", "s.png", {"--size", "64x48"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string warning =
        "quorvane: warning: 'wide.ppm' (50x30) is stretched to the 64x48 output; --fit letterbox or --fit crop keeps its shape\n";
    EXPECT_EQ(r.err, warning + warning);  // FROM and TO
    r = Morph("four3.ppm", "t.png", {"--size", "64x48"});  // the same shape: no word
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    r = Morph("wide.ppm", "u.png", {"--size", "64x48", "--fit", "stretch"});  // asked for
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Read("u.png"), Read("s.png"));
}

TEST_F(CliPictureFit, LetterboxKeepsTheWholePictureBetweenBands)
{
    // 50x30 into 64x48: scaled to 64x38, with bands of 5 rows above and below.
    ASSERT_EQ(Morph("wide.ppm", "l.png", {"--size", "64x48", "--fit", "letterbox"}).status, 0);
    ASSERT_EQ(Morph("wide.ppm", "plain.png", {"--size", "64x38", "--quiet"}).status, 0);
    const RgbPicture boxed = Read("l.png");
    ASSERT_EQ(boxed.width, 64);
    ASSERT_EQ(boxed.height, 48);
    EXPECT_TRUE(AllOneColour(Part(boxed, 0, 0, 64, 5), 0x10, 0x20, 0x30));
    EXPECT_TRUE(AllOneColour(Part(boxed, 0, 43, 64, 5), 0x10, 0x20, 0x30));
    EXPECT_EQ(Part(boxed, 0, 5, 64, 38), Read("plain.png"));
}

TEST_F(CliPictureFit, CropCoversTheOutputAndCutsTheSidesEvenly)
{
    // 50x30 into 48x48: scaled to 80x48, 16 columns cut on either side.
    ASSERT_EQ(Morph("wide.ppm", "c.png", {"--size", "48x48", "--fit", "crop"}).status, 0);
    ASSERT_EQ(Morph("wide.ppm", "plain.png", {"--size", "80x48", "--quiet"}).status, 0);
    EXPECT_EQ(Read("c.png"), Part(Read("plain.png"), 16, 0, 48, 48));
    // A point in a part that is cut off has no place in the output.
    std::ofstream(dir_ / "p.txt") << "20 10 22 12\n2 20 28 22\n";
    const CliResult r = Morph("wide.ppm", "d.png", {"--size", "48x48", "--fit", "crop"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "quorvane: p.txt:2: source point (2, 20) is cut off: it falls outside the 48x48 output\n");
    EXPECT_FALSE(fs::exists(dir_ / "d.png"));
}

TEST_F(CliPictureFit, FitNeedsSizeAndAKnownMode)
{
    CliResult r = Morph("wide.ppm", "x.png", {"--fit", "crop"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorvane: --fit works together with --size\n");
    r = Morph("wide.ppm", "x.png", {"--size", "9x9", "--fit", "zoom"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "quorvane: --fit: 'zoom' is not stretch, letterbox or crop\n");
}

TEST(PicturePlacement, TheSideThatFitsIsExactAndTheOtherCentred)
{
    using qvcli::FitMode;
    using qvcli::PlacePicture;
    const auto same = [](qvcli::Placement a, qvcli::Placement b) {
        return a.width == b.width && a.height == b.height && a.left == b.left && a.top == b.top;
    };
    EXPECT_TRUE(same(PlacePicture({50, 30}, {64, 48}, FitMode::Letterbox), {64, 38, 0, 5}));
    EXPECT_TRUE(same(PlacePicture({50, 30}, {48, 48}, FitMode::Crop), {80, 48, -16, 0}));
    EXPECT_TRUE(same(PlacePicture({30, 50}, {64, 48}, FitMode::Letterbox), {29, 48, 17, 0}));
    EXPECT_TRUE(same(PlacePicture({30, 50}, {64, 48}, FitMode::Stretch), {64, 48, 0, 0}));
    EXPECT_TRUE(same(PlacePicture({40, 30}, {64, 48}, FitMode::Crop), {64, 48, 0, 0}));
    EXPECT_TRUE(qvcli::SameShape({40, 30}, {640, 480}));
    EXPECT_FALSE(qvcli::SameShape({40, 30}, {640, 481}));
}

}  // namespace

// What FreeImage and its libtiff say while the command loads a picture:
// nothing on stderr for a good file, and the messages as part of the error
// for a file that fails; BMP files with the newer headers that FreeImage
// does not read are named as such, with the conversion that mends them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace fs = std::filesystem;
using qv::test::CliResult;

namespace {

class CliPictureMessages : public ::testing::Test {
protected:
    void SetUp() override
    {
        int status = 0;
        // ImageMagick's TIFFs lack the EXIF and GPS tags FreeImage asks libtiff for.
        qv::test::ShellOutput("convert -size 64x48 gradient:red-blue " + qv::test::ShellQuote((dir_ / "im.tif").string()),
                            &status);
        ASSERT_EQ(0, status);
        std::ofstream(dir_ / "points.txt") << "10 10 12 12\n";
    }
    CliResult Mesh(const std::string& picture)
    {
        return qv::test::RunProgram(QUORVANE_CLI_PATH, {"mesh", picture, "--points", "points.txt", "--out", "mesh.png"},
                                  dir_.path());
    }
    qv::test::ScratchDir dir_{"picture-messages"};
};

TEST_F(CliPictureMessages, AGoodTiffLoadsWithoutAWord)
{
    const CliResult r = Mesh("im.tif");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ("wrote mesh.png: 1 points, 4 triangles, 0 turned over\n", r.out);
    // Through morph as well, where both pictures are loaded.
    const CliResult morph = qv::test::RunProgram(
        QUORVANE_CLI_PATH, {"morph", "im.tif", "im.tif", "--points", "points.txt", "--out", "m.gif", "--frames", "2", "--quiet"},
        dir_.path());
    EXPECT_EQ(0, morph.status);
    EXPECT_EQ("", morph.err);
}

TEST_F(CliPictureMessages, ABrokenTiffsMessagesBecomePartOfTheError)
{
    // The first 3000 bytes: the header points at a directory past the end.
    std::ifstream in(dir_ / "im.tif", std::ios::binary);
    std::vector<char> head(3000);
    in.read(head.data(), std::streamsize(head.size()));
    std::ofstream(dir_ / "cut.tif", std::ios::binary).write(head.data(), std::streamsize(head.size()));

    const CliResult r = Mesh("cut.tif");
    EXPECT_EQ(1, r.status);
    const std::string prefix = "quorvane: cannot read picture 'cut.tif': the file is damaged or incomplete (";
    EXPECT_EQ(prefix, r.err.substr(0, prefix.size())) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("TIFFFetchDirectory: Can not read TIFF directory count; ")) << r.err;
    EXPECT_EQ(")\n", r.err.substr(r.err.size() - 2));
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
}

TEST_F(CliPictureMessages, NewerBmpHeadersAreNamedWithTheirConversion)
{
    int status = 0;
    qv::test::ShellOutput("cd " + qv::test::ShellQuote(dir_.path().string()) +
                            " && convert im.tif v5.bmp && convert im.tif -define bmp:format=bmp4 v4.bmp", &status);
    ASSERT_EQ(0, status);
    for (const std::string name : {"v5", "v4"}) {
        const CliResult r = Mesh(name + ".bmp");
        EXPECT_EQ(1, r.status);
        EXPECT_EQ("quorvane: cannot read picture '" + name +
                      ".bmp': it is a BMP file with a newer 124-byte header (V4/V5, as ImageMagick writes by default), "
                      "which is not supported; convert it to the classic BMP with: convert '" + name + ".bmp' BMP3:'" +
                      name + "-bmp3.bmp' (or save it as PNG)\n",
                  r.err);
        // The conversion offered gives a file the command reads.
        qv::test::ShellOutput("cd " + qv::test::ShellQuote(dir_.path().string()) + " && convert " + name + ".bmp BMP3:" + name +
                                "-bmp3.bmp", &status);
        ASSERT_EQ(0, status);
        const CliResult converted = Mesh(name + "-bmp3.bmp");
        EXPECT_EQ(0, converted.status) << converted.err;
        EXPECT_EQ("", converted.err);
    }
    // A classic BMP cut short is still called damaged.
    std::ifstream in(dir_ / "v5-bmp3.bmp", std::ios::binary);
    std::vector<char> head(30);
    in.read(head.data(), std::streamsize(head.size()));
    std::ofstream(dir_ / "cut.bmp", std::ios::binary).write(head.data(), std::streamsize(head.size()));
    const CliResult cut = Mesh("cut.bmp");
    EXPECT_EQ(1, cut.status);
    EXPECT_EQ(0u, cut.err.find("quorvane: cannot read picture 'cut.bmp': the file is damaged or incomplete")) << cut.err;
}

}  // namespace

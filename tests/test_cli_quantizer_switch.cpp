// The command's GIF output with QUORVANE_QUANTIZER=freeimage and without:
// every frame of the demo morph, and a morph on two rendering threads, give
// byte for byte the same file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "support/cli_run.h"

namespace {

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the command with QUORVANE_QUANTIZER set to `choice` (or unset).
qv::test::CliResult RunWith(const char* choice, const std::vector<std::string>& args, const std::filesystem::path& dir)
{
    if (choice) setenv("QUORVANE_QUANTIZER", choice, 1);
    else unsetenv("QUORVANE_QUANTIZER");
    qv::test::CliResult result = qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir);
    unsetenv("QUORVANE_QUANTIZER");
    return result;
}

TEST(CliQuantizerSwitch, DemoMorphIsTheSameFileWithEitherQuantizer)
{
    qv::test::ScratchDir dir("qv-cli-quantizer");
    ASSERT_EQ(RunWith("freeimage", {"demo", "--out", "freeimage.gif", "--quiet"}, dir.path()).status, 0);
    ASSERT_EQ(RunWith(nullptr, {"demo", "--out", "own.gif", "--quiet"}, dir.path()).status, 0);
    const std::string theirs = FileBytes(dir / "freeimage.gif");
    ASSERT_GT(theirs.size(), 10000u);
    EXPECT_TRUE(FileBytes(dir / "own.gif") == theirs);
}

TEST(CliQuantizerSwitch, MorphOnTwoThreadsIsTheSameFileWithEitherQuantizer)
{
    qv::test::ScratchDir dir("qv-cli-quantizer");
    ASSERT_EQ(RunWith(nullptr, {"demo", "--inputs", "."}, dir.path()).status, 0);
    const std::vector<std::string> morph = {"morph", "demo-from.png", "demo-to.png", "--points", "demo-points.txt",
                                            "--size", "320x240", "--frames", "12", "--threads", "2", "--quiet", "--out"};
    auto withOut = [&](const char* out) {
        auto args = morph;
        args.push_back(out);
        return args;
    };
    ASSERT_EQ(RunWith("freeimage", withOut("freeimage.gif"), dir.path()).status, 0);
    ASSERT_EQ(RunWith("own", withOut("own.gif"), dir.path()).status, 0);
    const std::string theirs = FileBytes(dir / "freeimage.gif");
    ASSERT_GT(theirs.size(), 10000u);
    EXPECT_TRUE(FileBytes(dir / "own.gif") == theirs);
}

}  // namespace

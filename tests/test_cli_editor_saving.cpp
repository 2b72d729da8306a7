// Writing points back in the form they were loaded in, and replacing the
// file so that it is never half-written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli_error.h"
#include "points_saving.h"
#include "support/cli_run.h"

namespace {

using qvcli::ControlPoint;
using qvcli::FormatPoints;
using qvcli::PointsForm;

ControlPoint Point(double sx, double sy, double dx, double dy, int line = 0)
{
    ControlPoint p{sx, sy, dx, dy};
    p.line = line;
    return p;
}

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(EditorSaving, TextKeepsCommentsBlankLinesAndEachPointsOwnComment)
{
    const std::string original = "# faces\r\n\r\n1 2 3 4   # nose\r\n5,6,7,8\r\n9 10 11 12 # chin\r\n# end\r\n";
    std::vector<ControlPoint> points = {Point(1, 2, 3, 5, 3), Point(9, 10, 11, 12, 5), Point(20, 21, 22, 23)};
    points[1].weight = 0.5;
    points[1].hasWeight = true;
    EXPECT_EQ(FormatPoints(points, PointsForm::Text, original),
              "# faces\n\n1 2 3 5  # nose\n9 10 11 12 0.5  # chin\n# end\n20 21 22 23\n");
    // Read back, the same values in the same order.
    const auto again = qvcli::ParsePointsText(FormatPoints(points, PointsForm::Text, original), "x");
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[1].weight, 0.5);
    EXPECT_EQ(again[2].dstY, 23);
}

TEST(EditorSaving, ANewTextFileGetsAHeaderAndFractionsKeepEveryDigit)
{
    EXPECT_EQ(FormatPoints({Point(1.25, 2, 3, 4), Point(-0.5, 1e-3, 7, 8)}, PointsForm::Text, ""),
              "# srcX srcY dstX dstY [weight]\n1.25 2 3 4\n-0.5 0.001 7 8\n");
    EXPECT_EQ(qvcli::FormatCoordinate(0.1), "0.10000000000000001");
    EXPECT_EQ(qvcli::ParsePointsText(qvcli::FormatCoordinate(0.1) + " 0 0 0", "x")[0].srcX, 0.1);
}

TEST(EditorSaving, JsonStaysJsonAndAnObjectKeepsItsOtherMembers)
{
    EXPECT_EQ(FormatPoints({Point(1, 2, 3, 4), Point(5, 6, 7, 8)}, PointsForm::JsonArray, "[]"),
              "[\n  [1, 2, 3, 4],\n  [5, 6, 7, 8]\n]\n");
    EXPECT_EQ(FormatPoints({}, PointsForm::JsonArray, "[[1,2,3,4]]"), "[]\n");
    const std::string object = R"({"note": "faces", "points": [[1,2,3,4]], "size": [640, 480]})";
    const std::string text = FormatPoints({Point(9, 8, 7, 6)}, PointsForm::JsonObject, object);
    EXPECT_EQ(text, "{\n  \"note\": \"faces\",\n  \"points\": [\n    [9, 8, 7, 6]\n  ],\n  \"size\": [640,480]\n}\n");
    EXPECT_EQ(qvcli::ParsePointsJson(text, "x").size(), 1u);
    EXPECT_EQ(qvcli::PointsFormOf(" \n{"), PointsForm::JsonObject);
    EXPECT_EQ(qvcli::PointsFormOf("\xEF\xBB\xBF["), PointsForm::JsonArray);
    EXPECT_EQ(qvcli::PointsFormOf("# [x]\n1 2 3 4"), PointsForm::Text);
}

TEST(EditorSaving, ReplacingKeepsPermissionsAndLeavesNoTemporaryFile)
{
    qv::test::ScratchDir dir("editor-saving");
    const auto path = dir / "p.txt";
    std::ofstream(path) << "old\n";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    qvcli::ReplaceFileAtomically(path.string(), "new\n");
    EXPECT_EQ(ReadAll(path), "new\n");
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(EditorSaving, AFailedReplaceLeavesTheOldFileWhole)
{
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    qv::test::ScratchDir dir("editor-saving");
    const auto path = dir / "p.txt";
    std::ofstream(path) << "old\n";
    ASSERT_EQ(chmod(dir.path().c_str(), 0500), 0);
    EXPECT_THROW(qvcli::ReplaceFileAtomically(path.string(), "new\n"), qvcli::CliError);
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(ReadAll(path), "old\n");
}

TEST(EditorSaving, ReplacingIntoAMissingDirectoryNamesTheFile)
{
    try {
        qvcli::ReplaceFileAtomically("/nonexistent-dir-q/p.txt", "x");
        FAIL();
    } catch (const qvcli::CliError& e) {
        EXPECT_EQ(std::string(e.what()), "cannot save '/nonexistent-dir-q/p.txt': No such file or directory");
    }
}

}  // namespace

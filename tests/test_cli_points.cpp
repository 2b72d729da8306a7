// The quorvane command's control-point files (text and JSON) and its
// option value parsers: accepted forms give exact values, and every
// malformed line is reported with the file and line number.
#include <gtest/gtest.h>

#include <string>

#include "cli_error.h"
#include "cli_options.h"
#include "output_files.h"
#include "points_file.h"

namespace {

using qvcli::CliError;
using qvcli::ControlPoint;

// The message of the CliError that `parse` throws, or "" when none.
template <typename F>
std::string ErrorOf(F parse)
{
    try {
        parse();
    } catch (const CliError& e) {
        return e.what();
    }
    return "";
}

TEST(CliPointsText, ReadsPointsCommentsAndOptionalWeights)
{
    const std::string text =
        "# srcX srcY dstX dstY [weight]\n"
        "\n"
        "10 20 30 40\n"
        "  1.5\t2.25   3 4  0.5  # trailing comment\n"
        "5,6,7,8\r\n";
    const auto points = qvcli::ParsePointsText(text, "p.txt");
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].srcX, 10);
    EXPECT_EQ(points[0].srcY, 20);
    EXPECT_EQ(points[0].dstX, 30);
    EXPECT_EQ(points[0].dstY, 40);
    EXPECT_EQ(points[0].weight, 1.0);
    EXPECT_FALSE(points[0].hasWeight);
    EXPECT_EQ(points[0].line, 3);
    EXPECT_EQ(points[1].srcX, 1.5);
    EXPECT_EQ(points[1].srcY, 2.25);
    EXPECT_EQ(points[1].weight, 0.5);
    EXPECT_TRUE(points[1].hasWeight);
    EXPECT_EQ(points[1].line, 4);
    EXPECT_EQ(points[2].dstY, 8);
    EXPECT_EQ(points[2].line, 5);
}

TEST(CliPointsText, EmptyAndCommentOnlyFilesHoldNoPoints)
{
    EXPECT_TRUE(qvcli::ParsePointsText("", "p.txt").empty());
    EXPECT_TRUE(qvcli::ParsePointsText("# nothing\n\n   \n", "p.txt").empty());
    EXPECT_EQ(qvcli::ParsePointsText("\xEF\xBB\xBF" "1 2 3 4\n", "p.txt").size(), 1u);
}

TEST(CliPointsText, MalformedLinesNameFileAndLine)
{
    auto parse = [](const std::string& text) { return ErrorOf([&] { qvcli::ParsePointsText(text, "pts.txt"); }); };
    EXPECT_EQ(parse("1 2 3 4\n1 2 3\n"), "pts.txt:2: expected 4 or 5 numbers (srcX srcY dstX dstY [weight]), found 3");
    EXPECT_EQ(parse("1 2 3 4 5 6\n"), "pts.txt:1: expected 4 or 5 numbers (srcX srcY dstX dstY [weight]), found 6");
    EXPECT_EQ(parse("# c\n\n1 two 3 4\n"), "pts.txt:3: 'two' is not a number");
    EXPECT_EQ(parse("1 2 3 4x\n"), "pts.txt:1: '4x' is not a number");
    EXPECT_EQ(parse("1 2 nan 4\n"), "pts.txt:1: 'nan' is not a finite number");
    EXPECT_EQ(parse("1 2 3 1e999\n"), "pts.txt:1: '1e999' is not a finite number");
    EXPECT_EQ(parse("1 2 3 4 0\n"), "pts.txt:1: weight must be above 0 and at most 1000 (1 turns evenly)");
    EXPECT_EQ(parse("1 2 3 4 -1\n"), "pts.txt:1: weight must be above 0 and at most 1000 (1 turns evenly)");
    EXPECT_EQ(parse(std::string("1 2 3 4\n1 2\0 3 4\n", 16)), "pts.txt:2: holds a NUL byte; is this a text file?");
}

TEST(CliPointsJson, ArraysObjectsAndWrappedForm)
{
    const auto a = qvcli::ParsePointsJson("[[1, 2, 3, 4], [5, 6, 7, 8, 2.5]]", "p.json");
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[1].srcX, 5);
    EXPECT_EQ(a[1].weight, 2.5);
    EXPECT_TRUE(a[1].hasWeight);

    const auto b = qvcli::ParsePointsJson(
        "{\"version\": 1, \"note\": [true, null, {\"x\": \"y\"}],\n"
        " \"points\": [\n  {\"src\": [10, 11], \"dst\": [12, 13]},\n  {\"dst\": [3, 4], \"src\": [1, 2], \"weight\": 3}\n]}",
        "p.json");
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].srcX, 10);
    EXPECT_EQ(b[0].srcY, 11);
    EXPECT_EQ(b[0].dstX, 12);
    EXPECT_EQ(b[0].dstY, 13);
    EXPECT_EQ(b[0].line, 3);
    EXPECT_EQ(b[1].srcX, 1);
    EXPECT_EQ(b[1].dstY, 4);
    EXPECT_EQ(b[1].weight, 3);
    EXPECT_EQ(b[1].line, 4);
}

TEST(CliPointsJson, ErrorsNameTheLine)
{
    auto parse = [](const std::string& text) { return ErrorOf([&] { qvcli::ParsePointsJson(text, "p.json"); }); };
    EXPECT_EQ(parse("[\n[1, 2, 3]\n]"), "p.json:2: a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight]), found 3");
    EXPECT_EQ(parse("[\n\n{\"src\": [1, 2]}]"), "p.json:3: a point needs both \"src\" and \"dst\"");
    EXPECT_EQ(parse("[{\"src\": [1, 2], \"dst\": [1, 2], \"colour\": 1}]"),
              "p.json:1: unknown field \"colour\" (a point has src, dst and weight)");
    EXPECT_EQ(parse("{\"pts\": []}"), "p.json:1: the object has no \"points\" array");
    EXPECT_EQ(parse("[[1, 2, 3, 4]\n"), "p.json:2: syntax error while parsing array - unexpected end of input; expected ']'");
    EXPECT_EQ(parse("[[1, 2, 3, 4, 0]]"), "p.json:1: weight must be above 0 and at most 1000 (1 turns evenly)");
    EXPECT_EQ(parse("[[1, 2, 3, 4]] x"),
              "p.json:1: syntax error while parsing value - invalid literal; last read: '4]] x'; expected end of input");
    EXPECT_EQ(parse("{\"points\": [\n[1, \"2\", 3, 4]]}"), "p.json:2: expected a number, found \"2\"");
    EXPECT_EQ(parse("[{\"src\": [1], \"dst\": [1, 2]}]"), "p.json:1: expected a pair [x, y], found [1]");
}

// Only what JSON itself allows: numbers in JSON's own spelling, and strings
// with their escapes decoded (a field name spelled with \u escapes is that name).
TEST(CliPointsJson, FollowsTheJsonGrammar)
{
    auto parse = [](const std::string& text) { return ErrorOf([&] { qvcli::ParsePointsJson(text, "p.json"); }); };
    for (const char* number : {"+1", ".5", "1.", "0x10", "NaN", "Infinity", "01"})
        EXPECT_NE(parse(std::string("[[") + number + ", 2, 3, 4]]").find("p.json:1: syntax error"), std::string::npos)
            << number;
    const auto escaped = qvcli::ParsePointsJson("[{\"\\u0073rc\": [1, 2], \"d\\u0073t\": [3, 4]}]", "p.json");
    ASSERT_EQ(escaped.size(), 1u);
    EXPECT_EQ(escaped[0].srcX, 1);
    EXPECT_EQ(escaped[0].dstY, 4);
    // Points keep the line they open on, in either top-level form.
    const auto lines = qvcli::ParsePointsJson("{\"name\": [[0]],\n \"points\": [\n\n[1, 2, 3, 4],\n{\"src\": [1, 2],\n\"dst\": [3, 4]}]}", "p.json");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].line, 4);
    EXPECT_EQ(lines[1].line, 5);
}

TEST(CliPointsFile, PicksTheFormByTheFirstCharacterAndNamesMissingFiles)
{
    EXPECT_EQ(ErrorOf([] { qvcli::ReadPointsFile("/nonexistent/points.txt"); }),
              "cannot read points file '/nonexistent/points.txt': No such file or directory");
    EXPECT_EQ(ErrorOf([] { qvcli::ReadPointsFile("/tmp"); }), "points file '/tmp' is a directory");
}

TEST(CliOptionValues, SizesColoursNumbersAndRanges)
{
    EXPECT_EQ(qvcli::ParseSize("320x240", "--size", 16384), (qvcli::Size2{320, 240}));
    EXPECT_EQ(qvcli::ParseSize("7X9", "--size", 16384), (qvcli::Size2{7, 9}));
    EXPECT_EQ(qvcli::ParseColor("FF8001", "--background"), 0xFF8001u);
    EXPECT_EQ(qvcli::ParseColor("#0a0B0c", "--background"), 0x0A0B0Cu);
    EXPECT_EQ(qvcli::ParseInteger("-12", "--n", -20, 20), -12);
    EXPECT_EQ(qvcli::ParseNumber("12.5", "--fps", 0.01, 100), 12.5);

    const auto r = qvcli::ParseFrameRange("10:20", "--range");
    EXPECT_EQ(r.first, 10);
    EXPECT_EQ(r.end, 20);
    const auto open = qvcli::ParseFrameRange(":5", "--range");
    EXPECT_FALSE(open.first.has_value());
    EXPECT_EQ(open.end, 5);

    auto usage = [](auto f) {
        try {
            f();
        } catch (const CliError& e) {
            return std::to_string(e.status()) + " " + e.what();
        }
        return std::string();
    };
    EXPECT_EQ(usage([] { qvcli::ParseSize("320", "--size", 16384); }), "2 --size: '320' is not a size like 320x240");
    EXPECT_EQ(usage([] { qvcli::ParseSize("0x5", "--size", 16384); }), "2 --size (0x5) width must be from 1 to 16384, not 0");
    EXPECT_EQ(usage([] { qvcli::ParseColor("FFF", "--background"); }),
              "2 --background: 'FFF' is not a colour like FF8000 (red, green, blue in hex)");
    EXPECT_EQ(usage([] { qvcli::ParseInteger("3.5", "--frames", 1, 10); }), "2 --frames: '3.5' is not a whole number");
    EXPECT_EQ(usage([] { qvcli::ParseNumber("200", "--fps", 0.01, 100); }), "2 --fps must be from 0.01 to 100, not 200");
    EXPECT_EQ(usage([] { qvcli::ParseFrameRange("5:5", "--range"); }),
              "2 --range (5:5) is empty: the end frame is not included, so it must be above the start");
    EXPECT_EQ(usage([] { qvcli::ParseFrameRange("5", "--range"); }),
              "2 --range: '5' is not a range like 0:50 (frames 0 to 49)");
}

TEST(CliOptionParsing, ValuesFlagsHelpAndUnknownOptions)
{
    const std::vector<qvcli::OptionSpec> specs = {{"out", true}, {"bilinear", false}};
    const auto args = qvcli::ParseArgs({"a.png", "--out=x.gif", "--bilinear", "-", "--", "--out"}, "morph", specs);
    EXPECT_EQ(args.positional, (std::vector<std::string>{"a.png", "-", "--out"}));
    EXPECT_EQ(args.value("out"), "x.gif");
    EXPECT_TRUE(args.has("bilinear"));
    EXPECT_FALSE(args.help);
    EXPECT_TRUE(qvcli::ParseArgs({"-h"}, "morph", specs).help);
    EXPECT_EQ(ErrorOf([&] { qvcli::ParseArgs({"--outt", "x"}, "morph", specs); }),
              "unknown option --outt for 'morph' (see quorvane morph --help)");
    EXPECT_EQ(ErrorOf([&] { qvcli::ParseArgs({"--out"}, "morph", specs); }), "--out needs a value");
    EXPECT_EQ(ErrorOf([&] { qvcli::ParseArgs({"--bilinear=1"}, "morph", specs); }), "--bilinear takes no value");
}

TEST(CliOutputNames, KindsByExtensionAndNumberedStills)
{
    EXPECT_EQ(qvcli::ClassifyOutput("a/b.GIF").kind, qvcli::OutputKind::Gif);
    EXPECT_EQ(qvcli::ClassifyOutput("m.avi").kind, qvcli::OutputKind::Avi);
    EXPECT_EQ(qvcli::ClassifyOutput("f_%04d.jpeg").stillFormat, 4);
    EXPECT_EQ(qvcli::ClassifyOutput("f.TIF").stillFormat, 5);
    EXPECT_EQ(qvcli::ClassifyOutput("f.png").stillFormat, 13);
    EXPECT_NE(ErrorOf([] { qvcli::ClassifyOutput("f.bmp"); }), "");

    EXPECT_EQ(qvcli::FrameFileName("frame_%04d.png", 7), "frame_0007.png");
    EXPECT_EQ(qvcli::FrameFileName("f%d.png", 12345), "f12345.png");
    EXPECT_EQ(qvcli::FrameFileName("100%%_%3d.png", 5), "100%_005.png");
    EXPECT_EQ(qvcli::FrameFileName("still.png", 5), "still.png");
    EXPECT_TRUE(qvcli::HasFrameNumberField("x/%02d.tif"));
    EXPECT_FALSE(qvcli::HasFrameNumberField("x/100%%.tif"));
    EXPECT_NE(ErrorOf([] { qvcli::FrameFileName("%s.png", 1); }), "");
    EXPECT_NE(ErrorOf([] { qvcli::FrameFileName("%d_%d.png", 1); }), "");
    EXPECT_NE(ErrorOf([] { qvcli::FrameFileName("%n.png", 1); }), "");
}

}  // namespace

// The editor's session: previews equal the morph command's frames byte for
// byte, problems are reported for every wrong point with the reader's
// words, stale previews are dropped, and saving keeps the file readable.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "cli_error.h"
#include "editor_session.h"
#include "png_encoding.h"
#include "support/cli_run.h"

namespace {

using qvcli::ControlPoint;
using qvcli::EditorSession;
using qvcli::EditorSetup;
using qv::test::RgbPicture;

RgbPicture Pattern(int width, int height, int seed)
{
    RgbPicture p{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = &p.rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            px[0] = static_cast<uint8_t>(x * 7 + seed * 40);
            px[1] = static_cast<uint8_t>(y * 5 + (x ^ y) * seed);
            px[2] = static_cast<uint8_t>(((x / 9 + y / 7) % 2) * 200 + seed);
        }
    return p;
}

RgbPicture FromHost(const qvcli::HostPicture& picture)
{
    RgbPicture p{picture.width(), picture.height(), {}};
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const uint32_t w = picture.row(y)[x];
            p.rgb.push_back(static_cast<uint8_t>(w >> 16));
            p.rgb.push_back(static_cast<uint8_t>(w >> 8));
            p.rgb.push_back(static_cast<uint8_t>(w));
        }
    return p;
}

class EditorSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qv::test::WritePpm(dir_ / "from.ppm", Pattern(96, 72, 1));
        qv::test::WritePpm(dir_ / "to.ppm", Pattern(96, 72, 3));
        std::ofstream(dir_ / "points.txt") << "# eyes\n30 30 36 28  # left\n\n60 32 58 40\n48 55 50 50 2.5\n";
        setup_.fromName = (dir_ / "from.ppm").string();
        setup_.toName = (dir_ / "to.ppm").string();
        setup_.pointsPath = (dir_ / "points.txt").string();
    }
    qv::test::ScratchDir dir_{"editor-session"};
    EditorSetup setup_;
};

TEST_F(EditorSessionTest, PreviewEqualsTheMorphCommandsFrameByteForByte)
{
    EditorSession session(setup_);
    for (const bool bilinear : {false, true}) {
        for (const char* weights : {"even", "smooth"}) {
            for (const int frame : {0, 3, 8}) {
                qvcli::PreviewRequest request;
                request.frame = frame;
                request.frames = 9;
                request.bilinear = bilinear;
                request.weights = std::string(weights) == "smooth" ? qvcli::WeightMode::Smooth : qvcli::WeightMode::Even;
                const auto preview = session.RenderPreview(request);
                ASSERT_TRUE(preview.has_value());
                const std::string png = qvcli::EncodePng(*preview, true);
                std::ofstream(dir_ / "preview.png", std::ios::binary) << png;

                std::vector<std::string> args = {"morph", setup_.fromName, setup_.toName, "--points", setup_.pointsPath,
                                                 "--frames", "9", "--range", std::to_string(frame) + ":" + std::to_string(frame + 1),
                                                 "--weights", weights, "--out", (dir_ / "f_%04d.png").string(), "--quiet"};
                if (bilinear) args.push_back("--bilinear");
                const qv::test::CliResult run = qv::test::RunProgram(QUORVANE_CLI_PATH, args, dir_.path());
                ASSERT_EQ(run.status, 0) << run.err;
                char name[32];
                std::snprintf(name, sizeof name, "f_%04d.png", frame);
                const RgbPicture fromMorph = qv::test::ReadWithImageMagick((dir_ / name).string());
                SCOPED_TRACE(std::string("frame ") + std::to_string(frame) + (bilinear ? " bilinear " : " nearest ") + weights);
                ASSERT_EQ(fromMorph.width, 96);
                EXPECT_TRUE(FromHost(*preview) == fromMorph);
                EXPECT_TRUE(qv::test::ReadWithImageMagick((dir_ / "preview.png").string()) == fromMorph);
            }
        }
    }
    // The ends are the pictures themselves; the middle is neither.
    qvcli::PreviewRequest first, middle;
    middle.frame = 15;
    EXPECT_TRUE(FromHost(*session.RenderPreview(first)) == Pattern(96, 72, 1));
    EXPECT_FALSE(FromHost(*session.RenderPreview(middle)) == Pattern(96, 72, 1));
}

TEST_F(EditorSessionTest, CoarsePreviewDiffersFromTheFullOneAndFollowsTheBlockSize)
{
    EditorSession session(setup_);
    qvcli::PreviewRequest fine, coarse;
    fine.frame = coarse.frame = 12;
    coarse.block = 8;
    const RgbPicture a = FromHost(*session.RenderPreview(fine)), b = FromHost(*session.RenderPreview(coarse));
    EXPECT_FALSE(a == b);
    // Blocks repeat rows (each triangle's blocks stand on its own rows), so
    // far fewer rows differ from the one above than in the full frame.
    auto rowChanges = [](const RgbPicture& p) {
        int changes = 0;
        for (int y = 1; y < p.height; ++y)
            changes += std::equal(p.rgb.begin() + (y - 1) * p.width * 3, p.rgb.begin() + y * p.width * 3,
                                  p.rgb.begin() + y * p.width * 3) ? 0 : 1;
        return changes;
    };
    EXPECT_EQ(rowChanges(a), a.height - 1);
    EXPECT_LE(rowChanges(b), b.height / 3);
}

TEST_F(EditorSessionTest, APreviewWaitingBehindANewerOneIsDropped)
{
    EditorSession session(setup_);
    std::optional<qvcli::HostPicture> older, newer;
    {
        std::unique_lock hold(qvcli::RenderLock());
        std::thread first([&] { older = session.RenderPreview({}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::thread second([&] { newer = session.RenderPreview({}); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        hold.unlock();
        first.join();
        second.join();
    }
    EXPECT_FALSE(older.has_value());
    ASSERT_TRUE(newer.has_value());
    EXPECT_EQ(newer->width(), 96);
}

TEST_F(EditorSessionTest, EveryWrongPointIsReportedWithTheReadersMessageAndItsIndex)
{
    EditorSession session(setup_);
    std::vector<ControlPoint> points(5);
    points[0] = {30, 30, 36, 28};
    points[1] = {0, 71, 5, 5};     // a picture corner
    points[2] = {50, 20, 200, 20};  // destination outside
    points[3] = {30, 30, 40, 40};   // the pixel of point 0
    points[4] = {70, 60, 70, 60};
    const qvcli::PointsReport report = session.Check(points);
    ASSERT_EQ(report.problems.size(), 3u);
    EXPECT_EQ(report.problems[0].point, 1);
    EXPECT_EQ(report.problems[0].message,
              "points:3: source point (0, 71) is a picture corner, which is always part of the mesh; leave it out");
    EXPECT_EQ(report.problems[1].point, 2);
    EXPECT_EQ(report.problems[1].text,
              "destination point (200, 20) lies outside the destination picture (96x72, x 0 to 95, y 0 to 71)");
    EXPECT_EQ(report.problems[2].point, 3);
    EXPECT_EQ(report.problems[2].message, "points:5: source point (30, 30) is the same place as the point on line 2");
    EXPECT_EQ(report.problems[2].text, "source point (30, 30) is the same place as pair 1");
    EXPECT_TRUE(report.triangles.empty());

    // Kept, not saved: the file stays as it was.
    session.Replace(points);
    EXPECT_TRUE(session.unsaved());
    EXPECT_THROW(session.Save(), qvcli::CliError);
    std::ifstream in(setup_.pointsPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "# eyes\n30 30 36 28  # left\n\n60 32 58 40\n48 55 50 50 2.5\n");
}

TEST_F(EditorSessionTest, TrianglesAndFoldedOnesAreReportedAsTheMeshCommandCountsThem)
{
    EditorSession session(setup_);
    std::vector<ControlPoint> points = session.points();
    qvcli::PointsReport report = session.Check(points);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(report.triangles.size(), 8u);  // 7 vertices, 4 on the hull: 2 * 7 - 2 - 4
    EXPECT_TRUE(report.folded.empty());
    points[1].dstX = 10;  // (60, 32) goes to the far left, past point 0
    report = session.Check(points);
    EXPECT_FALSE(report.folded.empty());
    const qv::test::CliResult mesh = [&] {
        std::ofstream(dir_ / "folded.txt") << "30 30 36 28\n60 32 10 40\n48 55 50 50\n";
        return qv::test::RunProgram(QUORVANE_CLI_PATH, {"mesh", setup_.fromName, setup_.toName, "--points", "folded.txt",
                                                       "--out", "mesh.png"}, dir_.path());
    }();
    EXPECT_NE(mesh.out.find("3 points, 8 triangles, " + std::to_string(report.folded.size()) + " turned over"),
              std::string::npos) << mesh.out;
}

TEST_F(EditorSessionTest, SavingKeepsCommentsAndGivesPointsTheirNewLines)
{
    EditorSession session(setup_);
    std::vector<ControlPoint> points = session.points();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[0].line, 2);
    EXPECT_FALSE(session.unsaved());
    points.erase(points.begin() + 1);
    points[0].dstX = 37;
    ControlPoint added{20, 50, 22, 52};
    points.push_back(added);
    session.Replace(points);
    EXPECT_TRUE(session.unsaved());
    const std::vector<ControlPoint> saved = session.Save();
    EXPECT_FALSE(session.unsaved());
    std::ifstream in(setup_.pointsPath);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "# eyes\n30 30 37 28  # left\n\n48 55 50 50 2.5\n20 50 22 52\n");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[2].line, 5);
    EXPECT_EQ(saved[1].weight, 2.5);
}

TEST_F(EditorSessionTest, RequestPointsAreReadByThePointsReader)
{
    EXPECT_EQ(qvcli::ReadPointsOfRequest(R"({"points": [[1, 2, 3, 4], {"src": [5, 6], "dst": [7, 8], "weight": 2}]})").size(), 2u);
    try {
        qvcli::ReadPointsOfRequest(R"([[1, 2, 3, 4], [1, 2, 3]])");
        FAIL();
    } catch (const qvcli::CliError& e) {
        EXPECT_STREQ(e.what(), "points:3: a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight]), found 3");
    }
    EXPECT_THROW(qvcli::ReadPointsOfRequest(R"({"pts": []})"), qvcli::CliError);
    EXPECT_THROW(qvcli::ReadPointsOfRequest(R"(42)"), qvcli::CliError);
}

}  // namespace

// Landmarks made into control points the mesh accepts (rounded, kept inside,
// off the corners, one a pixel at the output size), and points files written
// so that the reader takes back exactly the same points.
#include <gtest/gtest.h>

#include <vector>

#include "face_point_rules.h"
#include "morph_mesh.h"
#include "points_file.h"
#include "points_writer.h"

namespace {

using qvcli::ControlPoint;
using qvcli::LandmarkPair;
using qvcli::PlaceLandmarks;
using qvcli::Size2;

struct Xy {
    double x, y;
    bool operator==(const Xy&) const = default;
};

std::vector<Xy> Sources(const qvcli::PlacedLandmarks& placed)
{
    std::vector<Xy> out;
    for (const ControlPoint& p : placed.points) out.push_back({p.srcX, p.srcY});
    return out;
}

ControlPoint Existing(double x, double y)
{
    ControlPoint p;
    p.srcX = p.dstX = x;
    p.srcY = p.dstY = y;
    return p;
}

TEST(FacePointRules, RoundsToWholePixelsAndKeepsTheDestinationAsFound)
{
    const auto placed = PlaceLandmarks({{10.4, 20.5, 30.49, 40.51}, {-0.4, 5.2, 99.4, 0.0}}, {100, 100},
                                       {100, 100}, {100, 100}, nullptr);
    ASSERT_EQ(placed.points.size(), 2u);
    EXPECT_EQ(Sources(placed), (std::vector<Xy>{{10, 21}, {0, 5}}));
    EXPECT_EQ(placed.points[0].dstX, 30);
    EXPECT_EQ(placed.points[0].dstY, 41);
    EXPECT_EQ(placed.points[1].dstX, 99);
    EXPECT_EQ(placed.points[1].line, 0);
    EXPECT_FALSE(placed.points[0].hasWeight);
    EXPECT_EQ(placed.dropped, 0);
    EXPECT_EQ(placed.nudged, 0);
}

TEST(FacePointRules, DropsPairsWithAPointOutsideEitherPicture)
{
    // FROM is 100x80, TO 60x50: a point at 99.6 rounds to 100, outside.
    const auto placed = PlaceLandmarks({{99.6, 10, 5, 5},
                                        {10, -0.6, 5, 5},
                                        {10, 10, 59.5, 5},
                                        {10, 10, 5, 50},
                                        {99.4, 78.4, 59.4, 49.4}},
                                       {100, 80}, {60, 50}, {100, 80}, nullptr);
    EXPECT_EQ(Sources(placed), (std::vector<Xy>{{99, 78}}));
    EXPECT_EQ(placed.dropped, 4);
    EXPECT_EQ(placed.nudged, 0);
}

TEST(FacePointRules, MovesPointsOffCornersAndTakenPixelsToTheNearestFreeOne)
{
    const auto placed = PlaceLandmarks({{0, 0, 3, 3},       // a corner: to (1, 0), first of the nearest four
                                        {99, 99, 3, 3},     // a corner: to (99, 98)
                                        {50, 50, 7, 7},
                                        {50.2, 49.8, 8, 8}, // rounds onto (50, 50) too: to (50, 49)
                                        {50, 50, 9, 9},     // again: (50, 49) is taken now, so (49, 50)
                                        {20, 20, 9, 9}},
                                       {100, 100}, {100, 100}, {100, 100}, nullptr);
    EXPECT_EQ(Sources(placed), (std::vector<Xy>{{1, 0}, {99, 98}, {50, 50}, {50, 49}, {49, 50}, {20, 20}}));
    EXPECT_EQ(placed.nudged, 4);
    EXPECT_EQ(placed.dropped, 0);
    // Moving changes only the source side.
    EXPECT_EQ(placed.points[3].dstX, 8);
    EXPECT_EQ(placed.points[3].dstY, 8);
}

TEST(FacePointRules, LeavesOutALandmarkOnAPointAlreadyPlaced)
{
    const std::vector<ControlPoint> existing{Existing(50, 50), Existing(1, 0)};
    const auto placed = PlaceLandmarks({{50, 50, 7, 7}, {50.4, 49.6, 8, 8}, {0, 0, 3, 3}, {51, 50, 9, 9}},
                                       {100, 100}, {100, 100}, {100, 100}, &existing);
    // The corner's first choice, (1, 0), is held: it goes to (0, 1).
    EXPECT_EQ(Sources(placed), (std::vector<Xy>{{0, 1}, {51, 50}}));
    EXPECT_EQ(placed.dropped, 2);
    EXPECT_EQ(placed.nudged, 1);
}

TEST(FacePointRules, DropsAPointWithNoFreePixelWithinTwo)
{
    // Landmarks fill the 5x5 block around (10, 10), then two more come.
    std::vector<LandmarkPair> pairs;
    for (int y = 8; y <= 12; ++y)
        for (int x = 8; x <= 12; ++x) pairs.push_back({double(x), double(y), 1, 1});
    pairs.push_back({10, 10, 1, 1});  // all 24 pixels within two are taken
    pairs.push_back({11, 12, 1, 1});  // finds (11, 13)
    const auto placed = PlaceLandmarks(pairs, {40, 40}, {40, 40}, {40, 40}, nullptr);
    ASSERT_EQ(placed.points.size(), 26u);
    EXPECT_EQ(placed.points.back().srcX, 11);
    EXPECT_EQ(placed.points.back().srcY, 13);
    EXPECT_EQ(placed.dropped, 1);
    EXPECT_EQ(placed.nudged, 1);
}

TEST(FacePointRules, ClashesAreJudgedAtTheOutputSizeAndMovedPointsLandOnFreeOutputPixels)
{
    // FROM 400x400 scaled to 100x100: source pixels 40..43 all land on
    // output pixel 10.
    const Size2 from{400, 400}, out{100, 100};
    const auto placed = PlaceLandmarks({{40, 40, 0, 0}, {43, 41, 5, 5}, {200, 200, 1, 1}}, from, from, out, nullptr);
    ASSERT_EQ(placed.points.size(), 3u);
    EXPECT_EQ(placed.nudged, 1);
    std::vector<std::pair<int, int>> outputs;
    for (const ControlPoint& p : placed.points)
        outputs.push_back({qvcli::ScaleCoordinate(p.srcX, 400, 100), qvcli::ScaleCoordinate(p.srcY, 400, 100)});
    // Moved to the free output pixel above, (10, 9): the FROM pixel whose
    // centre maps there is (42, 38).
    EXPECT_EQ(outputs, (std::vector<std::pair<int, int>>{{10, 10}, {10, 9}, {50, 50}}));
    EXPECT_EQ(placed.points[1].srcX, 42);
    EXPECT_EQ(placed.points[1].srcY, 38);

    // The mesh takes the result at that size without complaint.
    EXPECT_EQ(qvcli::BuildMorphMesh(qvcli::MeshSourceFor(placed.points, from, from, out, "face points")).points.size(), 3u);
}

TEST(FacePointRules, ExistingPointsAreScaledToTheOutputBeforeComparing)
{
    // An existing point at FROM (81, 81) lands on output pixel (20, 20) of 100
    // at 400: a landmark at (80, 80) lands there as well and is left out; one
    // at (84, 80) lands on (21, 20) and stays.
    const std::vector<ControlPoint> existing{Existing(81, 81)};
    const auto placed =
        PlaceLandmarks({{80, 80, 0, 0}, {84, 80, 0, 0}}, {400, 400}, {400, 400}, {100, 100}, &existing);
    EXPECT_EQ(Sources(placed), (std::vector<Xy>{{84, 80}}));
    EXPECT_EQ(placed.dropped, 1);
    EXPECT_EQ(placed.nudged, 0);
}

std::vector<ControlPoint> SamplePoints()
{
    ControlPoint a = Existing(12, 7);
    a.dstX = 13.25;
    ControlPoint b = Existing(0.1, 1e-7);
    b.dstY = 3.0000000000000004;  // needs all 17 digits to read back the same
    b.weight = 2.5;
    b.hasWeight = true;
    return {a, b};
}

void ExpectSamePoints(const std::vector<ControlPoint>& read, const std::vector<ControlPoint>& written)
{
    ASSERT_EQ(read.size(), written.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].srcX, written[i].srcX) << i;
        EXPECT_EQ(read[i].srcY, written[i].srcY) << i;
        EXPECT_EQ(read[i].dstX, written[i].dstX) << i;
        EXPECT_EQ(read[i].dstY, written[i].dstY) << i;
        EXPECT_EQ(read[i].hasWeight, written[i].hasWeight) << i;
        EXPECT_EQ(read[i].weight, written[i].weight) << i;
    }
}

TEST(PointsWriter, JsonIsOnePointALineAndReadsBackExactly)
{
    const std::vector<ControlPoint> points = SamplePoints();
    const std::string json = qvcli::FormatPointsJson(points);
    EXPECT_EQ(json, "[\n  [12, 7, 13.25, 7],\n  [0.1, 1e-07, 0.1, 3.0000000000000004, 2.5]\n]\n");
    ExpectSamePoints(qvcli::ParsePointsJson(json, "p.json"), points);
    EXPECT_EQ(qvcli::FormatPointsJson({}), "[]\n");
    EXPECT_TRUE(qvcli::ParsePointsJson("[]\n", "p.json").empty());
}

TEST(PointsWriter, TextCarriesTheCommentLinesAndReadsBackExactly)
{
    const std::vector<ControlPoint> points = SamplePoints();
    const std::string text = qvcli::FormatPointsText(points, "face points\n68 found");
    EXPECT_EQ(text, "# face points\n# 68 found\n12 7 13.25 7\n0.1 1e-07 0.1 3.0000000000000004 2.5\n");
    const auto read = qvcli::ParsePointsText(text, "p.txt");
    ExpectSamePoints(read, points);
    EXPECT_EQ(read[0].line, 3);
}

}  // namespace

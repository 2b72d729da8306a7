// The quorvane command's mesh: placing control points in the output frame,
// the control-point table as the renderer reads it (coordinates minus 2),
// the Delaunay triangulation with the picture corners, and the per-frame
// vertex positions and weights.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cli_error.h"
#include "morph_mesh.h"
#include "points_file.h"
#include "vertex_interpolation.h"

namespace {

using qvcli::ControlPoint;
using qvcli::MorphMesh;

MorphMesh Build(const std::vector<ControlPoint>& points, qvcli::Size2 src, qvcli::Size2 dst, qvcli::Size2 out)
{
    return qvcli::BuildMorphMesh(qvcli::MeshSourceFor(points, src, dst, out, "p.txt"));
}

ControlPoint Point(double sx, double sy, double dx, double dy, int line = 1)
{
    ControlPoint p;
    p.srcX = sx;
    p.srcY = sy;
    p.dstX = dx;
    p.dstY = dy;
    p.line = line;
    return p;
}

std::string BuildError(const std::vector<ControlPoint>& points, qvcli::Size2 size)
{
    try {
        Build(points, size, size, size);
    } catch (const qvcli::CliError& e) {
        return e.what();
    }
    return "";
}

int64_t DoubleArea(qvcli::VertexPosition a, qvcli::VertexPosition b, qvcli::VertexPosition c)
{
    return int64_t{b.x - a.x} * (c.y - a.y) - int64_t{c.x - a.x} * (b.y - a.y);
}

// > 0 when d lies strictly inside the circle through a, b, c (counter-clockwise).
int64_t InCircle(qvcli::VertexPosition a, qvcli::VertexPosition b, qvcli::VertexPosition c, qvcli::VertexPosition d)
{
    const int64_t adx = a.x - d.x, ady = a.y - d.y, bdx = b.x - d.x, bdy = b.y - d.y, cdx = c.x - d.x, cdy = c.y - d.y;
    return (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) - (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
           (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
}

TEST(CliMesh, ControlTableHoldsPictureCoordinatesMinusTwo)
{
    const MorphMesh mesh = Build({Point(10, 20, 30, 40), Point(1, 0, 0, 3)}, {64, 48}, {64, 48}, {64, 48});
    // Value 4k-2/4k-1: source y/x of point k; 4k/4k+1: destination y/x.
    const std::vector<int16_t> expected = {0, 0, 18, 8, 38, 28, -2, -1, 1, -2};
    EXPECT_EQ(mesh.controlTable, expected);
    const std::vector<int16_t> reversed = {0, 0, 38, 28, 18, 8, 1, -2, -2, -1};
    EXPECT_EQ(mesh.reversedTable, reversed);
}

TEST(CliMesh, PointsScaleWithThePicturesPixelCentreToPixelCentre)
{
    // Source 100x50 and destination 50x25 both drawn at 200x100.
    const MorphMesh mesh = Build({Point(10, 20, 49, 0)}, {100, 50}, {50, 25}, {200, 100});
    ASSERT_EQ(mesh.points.size(), 1u);
    EXPECT_EQ(mesh.points[0].srcX, 21);  // (10 + 0.5) * 2 - 0.5 = 20.5, to the nearest
    EXPECT_EQ(mesh.points[0].srcY, 41);
    EXPECT_EQ(mesh.points[0].dstX, 198);  // 49.5 * 4 - 0.5 = 197.5 -> 198
    EXPECT_EQ(mesh.points[0].dstY, 2);    // 0.5 * 4 - 0.5 = 1.5 -> 2
}

TEST(CliMesh, DelaunayTrianglesTileThePictureAndUseEveryPoint)
{
    std::mt19937 random(7);
    std::vector<ControlPoint> points;
    std::set<std::pair<int, int>> seen;
    while (points.size() < 60) {
        const int x = 1 + static_cast<int>(random() % 318), y = 1 + static_cast<int>(random() % 238);
        if (seen.insert({x, y}).second) points.push_back(Point(x, y, x, y, static_cast<int>(points.size()) + 1));
    }
    const MorphMesh mesh = Build(points, {320, 240}, {320, 240}, {320, 240});

    // Euler: n interior points and 4 hull corners give 2n + 2 triangles, and
    // together they cover the picture rectangle exactly once.
    ASSERT_EQ(mesh.triangles.size(), 2 * points.size() + 2);
    int64_t area = 0;
    std::set<int> used;
    for (const MorphTriangle& t : mesh.triangles) {
        const auto a = qvcli::MeshVertex(mesh, t.v[0], false), b = qvcli::MeshVertex(mesh, t.v[1], false),
                   c = qvcli::MeshVertex(mesh, t.v[2], false);
        const int64_t twice = DoubleArea(a, b, c);
        EXPECT_NE(twice, 0);
        area += twice < 0 ? -twice : twice;
        for (int16_t v : t.v) {
            EXPECT_GE(v, -3);
            EXPECT_LE(v, static_cast<int16_t>(points.size()));
            used.insert(v);
        }
        // Empty circumcircles: no vertex lies strictly inside any triangle's circle.
        const bool ccw = twice > 0;
        for (int16_t v = -3; v <= static_cast<int16_t>(points.size()); ++v) {
            if (v == t.v[0] || v == t.v[1] || v == t.v[2]) continue;
            const auto d = qvcli::MeshVertex(mesh, v, false);
            const int64_t inside = ccw ? InCircle(a, b, c, d) : InCircle(a, c, b, d);
            EXPECT_LE(inside, 0) << "vertex " << v << " inside the circle of a triangle";
        }
    }
    EXPECT_EQ(area, 2 * 319 * 239);
    EXPECT_EQ(used.size(), points.size() + 4);
}

TEST(CliMesh, NoPointsGiveTwoCornerTriangles)
{
    const MorphMesh mesh = Build({}, {10, 10}, {10, 10}, {10, 10});
    EXPECT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(mesh.controlTable.size(), 2u);
    EXPECT_GE(qvcli::FindCornerOnlyTriangle(mesh), 0);
}

TEST(CliMesh, BadPointsNameTheirLine)
{
    const qvcli::Size2 size{40, 30};
    EXPECT_EQ(BuildError({Point(40, 5, 1, 1, 7)}, size),
              "p.txt:7: source point (40, 5) lies outside the source picture (40x30, x 0 to 39, y 0 to 29)");
    EXPECT_EQ(BuildError({Point(4, 5, 1, -1, 3)}, size),
              "p.txt:3: destination point (1, -1) lies outside the destination picture (40x30, x 0 to 39, y 0 to 29)");
    EXPECT_EQ(BuildError({Point(4, 5, 1, 1, 2), Point(4.2, 4.9, 8, 8, 9)}, size),
              "p.txt:9: source point (4.2, 4.9) falls on pixel (4, 5), the same as the point on line 2");
    EXPECT_EQ(BuildError({Point(4, 5, 1, 1, 2), Point(4, 5, 8, 8, 9)}, size),
              "p.txt:9: source point (4, 5) is the same place as the point on line 2");
    EXPECT_EQ(BuildError({Point(39, 29, 1, 1, 4)}, size),
              "p.txt:4: source point (39, 29) is a picture corner, which is always part of the mesh; leave it out");
    EXPECT_EQ(BuildError({}, {1, 30}), "the output must be at least 2x2 pixels");
}

// Scaled to another output size, a message gives the file's own numbers
// and the output pixel they fall on.
TEST(CliMesh, PointsThatMeetOnlyAtTheOutputSizeShowBothPlaces)
{
    const std::vector<ControlPoint> near = {Point(92, 100, 5, 5, 4), Point(93, 100, 9, 9, 7)};
    EXPECT_THROW(
        {
            try {
                Build(near, {240, 160}, {240, 160}, {60, 40});
            } catch (const qvcli::CliError& e) {
                EXPECT_STREQ(e.what(), "p.txt:7: source point (93, 100) falls on pixel (23, 25) of the 60x40 output, "
                                       "the same as the point on line 4");
                throw;
            }
        },
        qvcli::CliError);
    const std::vector<ControlPoint> corner = {Point(238, 1, 5, 5, 3)};
    EXPECT_THROW(
        {
            try {
                Build(corner, {240, 160}, {240, 160}, {60, 40});
            } catch (const qvcli::CliError& e) {
                EXPECT_STREQ(e.what(), "p.txt:3: source point (238, 1) falls on pixel (59, 0) of the 60x40 output, "
                                       "a picture corner, which is always part of the mesh; leave it out");
                throw;
            }
        },
        qvcli::CliError);
}

TEST(CliMesh, FoldsAndCornerTrianglesAreFound)
{
    const qvcli::Size2 size{100, 100};
    const MorphMesh identity = Build({Point(50, 50, 50, 50, 1)}, size, size, size);
    EXPECT_EQ(qvcli::CountFoldedTriangles(identity), 0);
    EXPECT_EQ(qvcli::FindCornerOnlyTriangle(identity), -1);
    // Two points that swap places turn the triangles between them over.
    const MorphMesh swapped = Build({Point(30, 50, 70, 50, 1), Point(70, 50, 30, 50, 2)}, size, size, size);
    EXPECT_GT(qvcli::CountFoldedTriangles(swapped), 0);
    // Any point inside the picture lies inside the circle through three of
    // its corners, so even a point next to a corner joins all four of them.
    const MorphMesh corner = Build({Point(1, 1, 5, 5, 1)}, size, size, size);
    EXPECT_EQ(corner.triangles.size(), 4u);
    EXPECT_EQ(qvcli::FindCornerOnlyTriangle(corner), -1);
}

TEST(CliInterpolation, FrameTimesRunFromSourceToDestination)
{
    EXPECT_EQ(qvcli::FrameTime(0, 10), 0.0);
    EXPECT_EQ(qvcli::FrameTime(9, 10), 1.0);
    EXPECT_EQ(qvcli::FrameTime(3, 7), 0.5);
    EXPECT_EQ(qvcli::FrameTime(0, 1), 0.0);
    EXPECT_FALSE(qvcli::DrawReversed(0.5));
    EXPECT_TRUE(qvcli::DrawReversed(0.5000001));
}

TEST(CliInterpolation, ColourSharesReachBothEndsForEveryWeight)
{
    for (double w : {0.1, 0.5, 1.0, 2.0, 37.0}) {
        EXPECT_EQ(qvcli::PointColorShare(0.0, w), 0.0);
        EXPECT_EQ(qvcli::PointColorShare(1.0, w), 1.0);
    }
    EXPECT_EQ(qvcli::PointColorShare(0.5, 1.0), 0.5);
    EXPECT_EQ(qvcli::PointColorShare(0.5, 2.0), 0.75);
    EXPECT_EQ(qvcli::PointColorShare(0.75, 0.5), 0.5);
}

TEST(CliInterpolation, VerticesMoveInStraightLinesAndCornersStay)
{
    std::vector<ControlPoint> points = {Point(10, 10, 20, 31, 1), Point(50, 40, 41, 40, 2)};
    points[1].weight = 2.0;
    const MorphMesh mesh = Build(points, {64, 48}, {64, 48}, {64, 48});
    qvcli::FrameVertices v;

    qvcli::InterpolateVertices(mesh, 0.0, qvcli::WeightMode::Smooth, v);
    // Entries -3..0 are the corners bottom-right, bottom-left, top-right, top-left.
    EXPECT_EQ(v.x, (std::vector<int16_t>{63, 0, 63, 0, 10, 50}));
    EXPECT_EQ(v.y, (std::vector<int16_t>{47, 47, 0, 0, 10, 40}));
    EXPECT_EQ(v.x0()[1], 10);
    EXPECT_EQ(v.weights, (std::vector<float>{0, 0, 0, 0, 0, 0}));

    qvcli::InterpolateVertices(mesh, 1.0, qvcli::WeightMode::Smooth, v);
    EXPECT_EQ(v.x, (std::vector<int16_t>{63, 0, 63, 0, 20, 41}));
    EXPECT_EQ(v.y, (std::vector<int16_t>{47, 47, 0, 0, 31, 40}));
    EXPECT_EQ(v.weights, (std::vector<float>{1, 1, 1, 1, 1, 1}));

    // Halfway: 15, 20.5 -> 21, 45.5 -> 46; the heavier point is further on.
    qvcli::InterpolateVertices(mesh, 0.5, qvcli::WeightMode::Smooth, v);
    EXPECT_EQ(v.x[4], 15);
    EXPECT_EQ(v.y[4], 21);
    EXPECT_EQ(v.x[5], 46);
    EXPECT_EQ(v.weights, (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.75f}));

    // Flat weights leave the corners at 0, so a triangle's sum is its points' alone.
    qvcli::InterpolateVertices(mesh, 0.5, qvcli::WeightMode::Flat, v);
    EXPECT_EQ(v.weights, (std::vector<float>{0, 0, 0, 0, 0.5f, 0.75f}));
    qvcli::ReverseWeights(qvcli::WeightMode::Flat, v);
    EXPECT_EQ(v.weights, (std::vector<float>{0, 0, 0, 0, 0.5f, 0.25f}));
    qvcli::InterpolateVertices(mesh, 0.5, qvcli::WeightMode::Smooth, v);
    qvcli::ReverseWeights(qvcli::WeightMode::Smooth, v);
    EXPECT_EQ(v.weights, (std::vector<float>{0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.25f}));
}

}  // namespace

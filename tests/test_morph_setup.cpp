// Triangle setup: vertex order and write-back, picture corners, snapping,
// edges, the area test and the flat weight.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "morph/draw_morph.h"
#include "morph/scan.h"
#include "morph/triangle_setup.h"

namespace qv::morph {
namespace {

// Vertex-indexed arrays with room for the corners -3..-1 before vertex 0.
struct VertexArrays {
    std::vector<int16_t> x, y;
    std::vector<float> w;
    explicit VertexArrays(int controlPoints) : x(controlPoints + 4), y(controlPoints + 4), w(controlPoints + 4) {}
    int16_t* X() { return x.data() + 3; }
    int16_t* Y() { return y.data() + 3; }
    float* W() { return w.data() + 3; }
    void Set(int v, int16_t px, int16_t py, float weight = 0.0f)
    {
        X()[v] = px;
        Y()[v] = py;
        W()[v] = weight;
    }
};

FrameRecord MakeFrame(VertexArrays& v, const int16_t* table, MorphTriangle* triangles, int16_t step = 1)
{
    FrameRecord f;
    f.src = {nullptr, 320, 240, 320u * 240u};
    f.dst = {nullptr, 100, 50, 100u * 50u};
    f.block = MakeBlockParams(step);
    f.mesh = {v.X(), v.Y(), v.W(), table, triangles};
    return f;
}

TEST(VertexOrder, TiesGoToTheEarlierPositionAndAreWrittenBack)
{
    VertexArrays v(3);
    v.Y()[3] = 10;
    v.Y()[1] = 20;
    v.Y()[2] = 10;
    MorphTriangle t{{3, 1, 2}};
    int16_t order[3];
    OrderVertices(t, v.Y(), order);
    EXPECT_EQ(t.v[0], 3);
    EXPECT_EQ(t.v[1], 2);
    EXPECT_EQ(t.v[2], 1);
}

TEST(VertexOrder, ThreeEqualRowsKeepTheRecordOrder)
{
    VertexArrays v(3);
    for (int id = 1; id <= 3; ++id) v.Y()[id] = 7;
    MorphTriangle t{{2, 3, 1}};
    int16_t order[3];
    OrderVertices(t, v.Y(), order);
    EXPECT_EQ(t.v[0], 2);
    EXPECT_EQ(t.v[1], 3);
    EXPECT_EQ(t.v[2], 1);
}

TEST(VertexOrder, AllPermutationsGiveTopMiddleBottom)
{
    VertexArrays v(3);
    v.Y()[1] = -4;
    v.Y()[2] = 9;
    v.Y()[3] = 30;
    const std::array<std::array<int16_t, 3>, 6> perms{{{1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}}};
    for (const auto& p : perms) {
        MorphTriangle t{{p[0], p[1], p[2]}};
        int16_t order[3];
        OrderVertices(t, v.Y(), order);
        EXPECT_EQ(t.v[0], 1);
        EXPECT_EQ(t.v[1], 2);
        EXPECT_EQ(t.v[2], 3);
    }
}

TEST(VertexOrder, TriangleFailingTheAreaTestIsStillRewritten)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, 2, 2);
    v.Set(2, 0, 0);
    v.Set(3, 4, 4);  // the three lie on one line: double area 0
    MorphTriangle t{{1, 3, 2}};
    FrameRecord f = MakeFrame(v, table, &t);
    TriangleSetup s;
    EXPECT_FALSE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.doubleArea, 0.0f);
    EXPECT_EQ(t.v[0], 2);
    EXPECT_EQ(t.v[1], 1);
    EXPECT_EQ(t.v[2], 3);
}

TEST(PictureCoordinate, CornersComeFromThePictureSize)
{
    VertexArrays v(0);
    FrameRecord f = MakeFrame(v, nullptr, nullptr);
    const Point tr = PictureCoordinate(f, -1, Picture::Source);
    EXPECT_EQ(tr.x, 319);
    EXPECT_EQ(tr.y, 0);
    const Point br = PictureCoordinate(f, -3, Picture::Destination);
    EXPECT_EQ(br.x, 99);
    EXPECT_EQ(br.y, 49);
    const Point bl = PictureCoordinate(f, -2, Picture::Source);
    EXPECT_EQ(bl.x, 0);
    EXPECT_EQ(bl.y, 239);
    const Point tl = PictureCoordinate(f, 0, Picture::Destination);
    EXPECT_EQ(tl.x, 0);
    EXPECT_EQ(tl.y, 0);
}

TEST(PictureCoordinate, ControlPointsAreReadAsYXPairsPlusTwo)
{
    // Control point 2: values 6, 7 (source y, x) and 8, 9 (destination y, x).
    int16_t table[12] = {-99, -99, 1, 1, 1, 1, 10, 20, -7, 300, 5, 5};
    VertexArrays v(0);
    FrameRecord f = MakeFrame(v, table, nullptr);
    const Point s = PictureCoordinate(f, 2, Picture::Source);
    EXPECT_EQ(s.x, 22);
    EXPECT_EQ(s.y, 12);
    const Point d = PictureCoordinate(f, 2, Picture::Destination);
    EXPECT_EQ(d.x, 302);
    EXPECT_EQ(d.y, -5);
}

TEST(BlockParams, StepAndOffsets)
{
    const int16_t sizes[] = {-5, 0, 1, 2, 3, 4, 5, 8};
    const int expected[][3] = {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {2, 0, 1}, {3, -1, 1}, {4, -1, 2}, {5, -2, 2}, {8, -3, 4}};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const BlockParams b = MakeBlockParams(sizes[i]);
        EXPECT_EQ(b.step, expected[i][0]) << sizes[i];
        EXPECT_EQ(b.low, expected[i][1]) << sizes[i];
        EXPECT_EQ(b.high, expected[i][2]) << sizes[i];
    }
}

TEST(Snapping, TruncatesTowardZeroOnTheBlockGrid)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, -5, 7);
    v.Set(2, 40, 0);
    v.Set(3, 0, 40);
    MorphTriangle t{{1, 2, 3}};
    FrameRecord f = MakeFrame(v, table, &t, 4);
    TriangleSetup s;
    ASSERT_TRUE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.top, 2);
    EXPECT_EQ(s.xMid, -4);
    EXPECT_EQ(s.yMid, 4);
}

TEST(Snapping, RowsCollapsingToOneRowSkipTheTriangle)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, 0, 0);
    v.Set(2, 20, 1);
    v.Set(3, 10, 3);
    MorphTriangle t{{1, 2, 3}};
    FrameRecord f = MakeFrame(v, table, &t, 4);
    TriangleSetup s;
    EXPECT_FALSE(SetUpTriangle(f, 0, 0, s));
    f.block = MakeBlockParams(1);
    EXPECT_TRUE(SetUpTriangle(f, 0, 0, s));
}

TEST(AreaTest, DoubleAreaOfOneIsSkippedTwoIsDrawn)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, 0, 0);
    v.Set(2, 1, 0);
    v.Set(3, 0, 1);
    MorphTriangle t{{1, 2, 3}};
    FrameRecord f = MakeFrame(v, table, &t);
    TriangleSetup s;
    EXPECT_FALSE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.doubleArea, 1.0f);  // middle right of the long edge: positive
    v.Set(2, 2, 0);
    EXPECT_TRUE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.doubleArea, 2.0f);
    EXPECT_TRUE(s.middleIsLeft == false);
}

TEST(Edges, SinglePrecisionSlopeDecidesTheColumnAtRowTen)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, 5, 0);
    v.Set(2, 10, 5);
    v.Set(3, 2, 10);
    MorphTriangle t{{1, 2, 3}};
    FrameRecord f = MakeFrame(v, table, &t);
    TriangleSetup s;
    ASSERT_TRUE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.longEdge.slope, -0.3f);
    EXPECT_LT(static_cast<double>(s.longEdge.slope), -0.3);
    EXPECT_EQ(s.longEdge.intercept, 5.0f);
    EXPECT_EQ(EdgeColumn(s.longEdge, 10), 1);
    // The lower edge also ends at 1.9999998 there: the last row is column 1 alone.
    EXPECT_EQ(EdgeColumn(s.lowerEdge, 10), 1);
    EXPECT_FALSE(s.middleIsLeft);
    EXPECT_GT(s.doubleArea, 0.0f);
}

TEST(Edges, FlatUpperEdgeRunsToTheMiddleVertex)
{
    static const int16_t table[16] = {};
    VertexArrays v(3);
    v.Set(1, 0, 0);
    v.Set(2, 9, 0);
    v.Set(3, 3, 6);
    MorphTriangle t{{1, 2, 3}};
    FrameRecord f = MakeFrame(v, table, &t);
    TriangleSetup s;
    ASSERT_TRUE(SetUpTriangle(f, 0, 0, s));
    EXPECT_EQ(s.upperEdge.slope, 0.0f);
    EXPECT_EQ(s.upperEdge.intercept, 9.0f);
    EXPECT_EQ(EdgeColumn(s.upperEdge, 0), 9);
    EXPECT_EQ(s.lowerEdge.slope, -1.0f);
}

TEST(FlatWeight, SumOfAllThreeOverTheControlPoints)
{
    static const int16_t table[40] = {};
    VertexArrays v(7);
    v.Set(0, 0, 0, 0.2f);
    v.Set(5, 30, 5, 0.4f);
    v.Set(7, 5, 30, 0.6f);
    MorphTriangle t{{0, 5, 7}};
    FrameRecord f = MakeFrame(v, table, &t);
    f.morphWeight = -1.0f;
    TriangleSetup s;
    ASSERT_TRUE(SetUpTriangle(f, 0, MORPH_WEIGHT_FLAT, s));
    EXPECT_EQ(f.morphWeight, 0.6f);

    v.Set(0, 0, 0, 0.0f);
    v.Set(1, 0, 0, 0.3f);
    v.Set(2, 30, 5, 0.6f);
    v.Set(3, 5, 30, 0.9f);
    MorphTriangle u{{1, 2, 3}};
    f.mesh.triangles = &u;
    ASSERT_TRUE(SetUpTriangle(f, 0, MORPH_WEIGHT_FLAT, s));
    EXPECT_EQ(f.morphWeight, 0.6f);
}

TEST(FlatWeight, ThreeCornersGiveZeroAndAFailedTriangleKeepsTheWeight)
{
    static const int16_t table[8] = {};
    VertexArrays v(0);
    v.Set(0, 0, 0, 0.5f);
    v.Set(-1, 50, 0, 0.5f);
    v.Set(-2, 0, 50, 0.5f);
    MorphTriangle t{{0, -1, -2}};
    FrameRecord f = MakeFrame(v, table, &t);
    f.morphWeight = 0.75f;
    TriangleSetup s;
    ASSERT_TRUE(SetUpTriangle(f, 0, MORPH_WEIGHT_FLAT, s));
    EXPECT_EQ(f.morphWeight, 0.0f);

    f.morphWeight = 0.75f;
    v.Set(-1, 0, 0, 0.5f);
    v.Set(-2, 0, 0, 0.5f);  // degenerate: not drawn, weight untouched
    EXPECT_FALSE(SetUpTriangle(f, 0, MORPH_WEIGHT_FLAT, s));
    EXPECT_EQ(f.morphWeight, 0.75f);
}

TEST(FrameDefaults, BackgroundFillAndDefaultWeight)
{
    uint32_t host;
    const uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};
    std::memcpy(&host, bytes, 4);
    EXPECT_EQ(BackgroundFillPixel(host), 0x00112233u);
    // A COLORREF (0x00BBGGRR) fills with its own colour.
    EXPECT_EQ(BackgroundFillPixel(0x00C08040u), 0x004080C0u);
    EXPECT_EQ(DefaultMorphWeight(3, 10), 0.3f);
    EXPECT_EQ(DefaultMorphWeight(-1, 4), -0.25f);
    EXPECT_EQ(DefaultMorphWeight(5, 0), 0.0f);
    EXPECT_EQ(DefaultMorphWeight(0, 0), 0.0f);
}

}  // namespace
}  // namespace qv::morph

#include "morph/triangle_setup.h"

#include <cmath>
#include <cstddef>

#include "morph/numerics.h"

namespace qv::morph {
namespace {

// Entry of a vertex-indexed host array; identifiers run from -3 upward.
template <typename T>
T VertexEntry(const T* array, int16_t vertex)
{
    return array[static_cast<std::ptrdiff_t>(vertex)];
}

int32_t Snap(int32_t coordinate, int32_t step) { return step * (coordinate / step); }

Edge MakeEdge(int32_t xP, int32_t yP, int32_t xQ, int32_t yQ, int32_t xMid)
{
    Edge edge;
    const float dy = static_cast<float>(WrapSub(yQ, yP));
    if (dy == 0.0f) {
        edge.slope = 0.0f;
        edge.intercept = static_cast<float>(xMid);
        return edge;
    }
    const double dx = static_cast<double>(WrapSub(xQ, xP));
    edge.slope = RoundToFloat(dx / static_cast<double>(dy));
    edge.intercept =
        RoundToFloat(static_cast<double>(xP) - static_cast<double>(yP) * static_cast<double>(edge.slope));
    return edge;
}

}  // namespace

BlockParams MakeBlockParams(int16_t blockSize)
{
    BlockParams block;
    block.step = blockSize >= 1 ? blockSize : 1;
    block.low = -((block.step - 1) / 2);
    block.high = block.step / 2;
    return block;
}

Point PictureCoordinate(const FrameRecord& frame, int16_t vertex, Picture picture)
{
    const PictureBuffer& pic = picture == Picture::Source ? frame.src : frame.dst;
    switch (vertex) {
    case MORPH_VERTEX_TOP_LEFT: return {0, 0};
    case MORPH_VERTEX_TOP_RIGHT: return {pic.width - 1, 0};
    case MORPH_VERTEX_BOTTOM_LEFT: return {0, pic.height - 1};
    case MORPH_VERTEX_BOTTOM_RIGHT: return {pic.width - 1, pic.height - 1};
    default: break;
    }
    // Control point k: values 4k-2, 4k-1 are the source (y, x), 4k, 4k+1 the
    // destination (y, x); every stored coordinate is used plus 2.
    const std::ptrdiff_t base = 4 * static_cast<std::ptrdiff_t>(vertex) + (picture == Picture::Source ? -2 : 0);
    const int16_t* table = frame.mesh.controlPoints;
    return {table[base + 1] + 2, table[base] + 2};
}

void OrderVertices(MorphTriangle& triangle, const int16_t* frameY, int16_t out[3])
{
    const int16_t p0 = triangle.v[0], p1 = triangle.v[1], p2 = triangle.v[2];
    auto y = [frameY](int16_t v) { return VertexEntry(frameY, v); };

    const int16_t a = y(p1) < y(p0) ? p1 : p0;
    const int16_t top = y(p2) < y(a) ? p2 : a;
    const int16_t b = y(p1) > y(p0) ? p1 : p0;
    int16_t bottom = y(p2) > y(b) ? p2 : b;
    int16_t middle = p0;
    if (middle == top || middle == bottom) middle = p1;
    if (middle == top || middle == bottom) middle = p2;
    if (top == bottom) bottom = static_cast<int16_t>(p0 + p1 + p2 - middle - top);

    triangle.v[0] = top;
    triangle.v[1] = middle;
    triangle.v[2] = bottom;
    out[0] = top;
    out[1] = middle;
    out[2] = bottom;
}

float FlatWeight(const FrameRecord& frame, const TriangleSetup& setup)
{
    const float* w = frame.mesh.vertexWeights;
    const int count = (setup.top >= 1) + (setup.middle >= 1) + (setup.bottom >= 1);
    // Three corners have no control point to share the weight: the triangle
    // keeps the source picture alone instead of an undefined quotient.
    if (count == 0) return 0.0f;
    const double sum = (static_cast<double>(VertexEntry(w, setup.bottom)) +
                        static_cast<double>(VertexEntry(w, setup.middle))) +
                       static_cast<double>(VertexEntry(w, setup.top));
    return RoundToFloat(sum / static_cast<double>(static_cast<float>(count)));
}

bool SetUpTriangle(FrameRecord& frame, int32_t index, uint16_t flags, TriangleSetup& s)
{
    const HostMesh& mesh = frame.mesh;
    int16_t order[3];
    OrderVertices(mesh.triangles[index], mesh.frameY, order);
    s.top = order[0];
    s.middle = order[1];
    s.bottom = order[2];

    s.xTop = VertexEntry(mesh.frameX, s.top);
    s.yTop = VertexEntry(mesh.frameY, s.top);
    s.xMid = VertexEntry(mesh.frameX, s.middle);
    s.yMid = VertexEntry(mesh.frameY, s.middle);
    s.xBottom = VertexEntry(mesh.frameX, s.bottom);
    s.yBottom = VertexEntry(mesh.frameY, s.bottom);

    for (int i = 0; i < 3; ++i) {
        s.srcCorners[i] = PictureCoordinate(frame, order[i], Picture::Source);
        s.dstCorners[i] = PictureCoordinate(frame, order[i], Picture::Destination);
    }

    const int32_t n = frame.block.step;
    if (n > 1) {
        s.xTop = Snap(s.xTop, n);
        s.yTop = Snap(s.yTop, n);
        s.xMid = Snap(s.xMid, n);
        s.yMid = Snap(s.yMid, n);
        s.xBottom = Snap(s.xBottom, n);
        s.yBottom = Snap(s.yBottom, n);
    }

    s.longEdge = MakeEdge(s.xTop, s.yTop, s.xBottom, s.yBottom, s.xMid);
    s.upperEdge = MakeEdge(s.xTop, s.yTop, s.xMid, s.yMid, s.xMid);
    s.lowerEdge = MakeEdge(s.xMid, s.yMid, s.xBottom, s.yBottom, s.xMid);
    s.middleIsLeft = s.yBottom != s.yTop &&
                     static_cast<double>(s.xMid) < static_cast<double>(s.yMid) * static_cast<double>(s.longEdge.slope) +
                                                       static_cast<double>(s.longEdge.intercept);

    const int32_t area = WrapSub(WrapMul(WrapSub(s.xMid, s.xTop), WrapSub(s.yBottom, s.yTop)),
                                 WrapMul(WrapSub(s.xBottom, s.xTop), WrapSub(s.yMid, s.yTop)));
    s.doubleArea = static_cast<float>(area);
    if (!(std::fabs(s.doubleArea) > 1.0f)) return false;

    if (flags & MORPH_WEIGHT_FLAT) frame.morphWeight = FlatWeight(frame, s);
    return true;
}

}  // namespace qv::morph

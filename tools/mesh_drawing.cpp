#include "mesh_drawing.h"

#include <cstdlib>

namespace qvcli {

namespace {

constexpr uint32_t kEdge = 0x00FFE040;    // yellow
constexpr uint32_t kFolded = 0x00FF2020;  // red
constexpr uint32_t kPoint = 0x00FF40FF;   // magenta
constexpr uint32_t kOutline = 0x00000000;

void Plot(HostPicture& p, int x, int y, uint32_t color)
{
    if (x >= 0 && y >= 0 && x < p.width() && y < p.height()) p.row(y)[x] = color;
}

// Bresenham's line, both ends included.
void Line(HostPicture& p, VertexPosition a, VertexPosition b, uint32_t color)
{
    const int dx = std::abs(b.x - a.x), dy = -std::abs(b.y - a.y);
    const int sx = a.x < b.x ? 1 : -1, sy = a.y < b.y ? 1 : -1;
    int err = dx + dy, x = a.x, y = a.y;
    for (;;) {
        Plot(p, x, y, color);
        if (x == b.x && y == b.y) return;
        const int e2 = 2 * err;
        if (e2 >= dy) { err += dy; x += sx; }
        if (e2 <= dx) { err += dx; y += sy; }
    }
}

void Dot(HostPicture& p, VertexPosition c)
{
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            Plot(p, c.x + dx, c.y + dy, (std::abs(dx) == 2 || std::abs(dy) == 2) ? kOutline : kPoint);
}

}  // namespace

void DrawMesh(HostPicture& picture, const MorphMesh& mesh, bool atDest)
{
    for (int pass = 0; pass < 2; ++pass) {  // folded triangles last, so that they show
        for (const MorphTriangle& t : mesh.triangles) {
            const bool folded = IsFolded(mesh, t);
            if (folded != (pass == 1)) continue;
            for (int e = 0; e < 3; ++e)
                Line(picture, MeshVertex(mesh, t.v[e], atDest), MeshVertex(mesh, t.v[(e + 1) % 3], atDest),
                     folded ? kFolded : kEdge);
        }
    }
    for (std::size_t k = 1; k <= mesh.points.size(); ++k) Dot(picture, MeshVertex(mesh, static_cast<int16_t>(k), atDest));
}

}  // namespace qvcli

#include "morph_mesh.h"

#include <cmath>
#include <map>
#include <utility>

#include "cli_error.h"
#include "delaunay_mesh.h"

namespace qvcli {

namespace {

std::string Where(const MeshSource& s, int line) { return s.pointsName + ":" + std::to_string(line) + ": "; }

std::string ShowNumber(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// Pixel centres map onto pixel centres: x' = (x + 0.5) * span / in - 0.5,
// shifted by where the picture's span starts in the output.
double ScaleCoordinate(double value, int from, int span, int offset)
{
    return (from == span ? value : (value + 0.5) * span / from - 0.5) + offset;
}

int OutputPixel(double scaled, int size)
{
    double rounded = std::floor(scaled + 0.5);
    if (rounded < 0) rounded = 0;
    if (rounded > size - 1) rounded = size - 1;
    return static_cast<int>(rounded);
}

MeshSource::Area WholeOutput(MeshSource::Area area, Size2 output)
{
    return area.width > 0 ? area : MeshSource::Area{output.width, output.height, 0, 0};
}

// A point that --fit crop cuts off has no place in the output.
void CheckNotCut(const MeshSource& s, const ControlPoint& p, bool dest, double x, double y)
{
    const Size2 out = s.outputSize;
    if (x >= -0.5 && x < out.width - 0.5 && y >= -0.5 && y < out.height - 0.5) return;
    throw CliError(Where(s, p.line) + (dest ? "destination" : "source") + " point (" + ShowNumber(dest ? p.dstX : p.srcX) +
                   ", " + ShowNumber(dest ? p.dstY : p.srcY) + ") is cut off: it falls outside the " +
                   std::to_string(out.width) + "x" + std::to_string(out.height) + " output");
}

void CheckInside(const MeshSource& s, const ControlPoint& p, bool dest)
{
    const double x = dest ? p.dstX : p.srcX, y = dest ? p.dstY : p.srcY;
    const Size2 size = dest ? s.destSize : s.sourceSize;
    if (x >= -0.5 && x < size.width - 0.5 && y >= -0.5 && y < size.height - 0.5) return;
    throw CliError(Where(s, p.line) + (dest ? "destination" : "source") + " point (" + ShowNumber(x) + ", " +
                   ShowNumber(y) + ") lies outside the " + (dest ? "destination" : "source") + " picture (" +
                   std::to_string(size.width) + "x" + std::to_string(size.height) + ", x 0 to " +
                   std::to_string(size.width - 1) + ", y 0 to " + std::to_string(size.height - 1) + ")");
}

int16_t VertexOfIndex(int index) { return static_cast<int16_t>(index < 4 ? -index : index - 3); }

int64_t Orientation(VertexPosition a, VertexPosition b, VertexPosition c)
{
    return int64_t{b.x - a.x} * (c.y - a.y) - int64_t{c.x - a.x} * (b.y - a.y);
}

}  // namespace

// The stretched placement (no --fit): what the face-point rules judge
// clashes by.
int ScaleCoordinate(double value, int from, int to) { return OutputPixel(ScaleCoordinate(value, from, to, 0), to); }

VertexPosition MeshVertex(const MorphMesh& mesh, int16_t vertex, bool atDest)
{
    const int right = mesh.size.width - 1, bottom = mesh.size.height - 1;
    switch (vertex) {
    case MORPH_VERTEX_TOP_LEFT: return {0, 0};
    case MORPH_VERTEX_TOP_RIGHT: return {right, 0};
    case MORPH_VERTEX_BOTTOM_LEFT: return {0, bottom};
    case MORPH_VERTEX_BOTTOM_RIGHT: return {right, bottom};
    default: break;
    }
    const MeshPoint& p = mesh.points.at(static_cast<std::size_t>(vertex - 1));
    return atDest ? VertexPosition{p.dstX, p.dstY} : VertexPosition{p.srcX, p.srcY};
}

MeshSource MeshSourceFor(const std::vector<ControlPoint>& points, Size2 from, Size2 to, Size2 size, std::string name)
{
    MeshSource source;
    source.points = &points;
    source.sourceSize = from;
    source.destSize = to;
    source.outputSize = size;
    source.pointsName = std::move(name);
    return source;
}

MorphMesh BuildMorphMesh(const MeshSource& s)
{
    const std::vector<ControlPoint>& input = *s.points;
    if (s.outputSize.width < 2 || s.outputSize.height < 2)
        throw CliError("the output must be at least 2x2 pixels");
    if (input.size() > static_cast<std::size_t>(kMaxControlPoints))
        throw CliError(s.pointsName + ": holds " + std::to_string(input.size()) + " points; at most " +
                       std::to_string(kMaxControlPoints) + " fit a mesh");

    MorphMesh mesh;
    mesh.size = s.outputSize;
    const int W = s.outputSize.width, H = s.outputSize.height;
    std::map<std::pair<int, int>, int> taken;  // source position -> line (0: a corner)
    for (const auto& corner : {std::pair{0, 0}, std::pair{W - 1, 0}, std::pair{0, H - 1}, std::pair{W - 1, H - 1}})
        taken[corner] = 0;

    const MeshSource::Area sourceArea = WholeOutput(s.sourceArea, s.outputSize);
    const MeshSource::Area destArea = WholeOutput(s.destArea, s.outputSize);
    mesh.controlTable.assign(2 + 4 * input.size(), 0);
    for (const ControlPoint& p : input) {
        CheckInside(s, p, false);
        CheckInside(s, p, true);
        MeshPoint m;
        const double srcX = ScaleCoordinate(p.srcX, s.sourceSize.width, sourceArea.width, sourceArea.left);
        const double srcY = ScaleCoordinate(p.srcY, s.sourceSize.height, sourceArea.height, sourceArea.top);
        const double dstX = ScaleCoordinate(p.dstX, s.destSize.width, destArea.width, destArea.left);
        const double dstY = ScaleCoordinate(p.dstY, s.destSize.height, destArea.height, destArea.top);
        CheckNotCut(s, p, false, srcX, srcY);
        CheckNotCut(s, p, true, dstX, dstY);
        m.srcX = OutputPixel(srcX, W);
        m.srcY = OutputPixel(srcY, H);
        m.dstX = OutputPixel(dstX, W);
        m.dstY = OutputPixel(dstY, H);
        m.weight = p.weight;
        m.line = p.line;
        const auto [it, fresh] = taken.emplace(std::pair{m.srcX, m.srcY}, p.line);
        if (!fresh) {
            // The file's own numbers, and the pixel they fall on when that
            // differs (fractions, or pictures scaled to the output size).
            std::string at = "(";  // built by appending: GCC 12 misreports "(" + std::string
            at += ShowNumber(p.srcX);
            at += ", ";
            at += ShowNumber(p.srcY);
            at += ")";
            const bool scaled = W != s.sourceSize.width || H != s.sourceSize.height;
            std::string pixel = "pixel (";
            pixel += std::to_string(m.srcX);
            pixel += ", ";
            pixel += std::to_string(m.srcY);
            pixel += ")";
            if (scaled) pixel += " of the " + std::to_string(W) + "x" + std::to_string(H) + " output";
            const bool moved = scaled || p.srcX != m.srcX || p.srcY != m.srcY;
            std::string what = Where(s, p.line) + "source point " + at;
            if (it->second == 0) {
                what += moved ? " falls on " + pixel + "," : " is";
                throw CliError(what + " a picture corner, which is always part of the mesh; leave it out");
            }
            if (moved) throw CliError(what + " falls on " + pixel + ", the same as the point on line " + std::to_string(it->second));
            throw CliError(what + " is the same place as the point on line " + std::to_string(it->second));
        }
        // Each stored coordinate is the picture coordinate minus 2.
        const std::size_t k = mesh.points.size() + 1;
        mesh.controlTable[4 * k - 2] = static_cast<int16_t>(m.srcY - 2);
        mesh.controlTable[4 * k - 1] = static_cast<int16_t>(m.srcX - 2);
        mesh.controlTable[4 * k] = static_cast<int16_t>(m.dstY - 2);
        mesh.controlTable[4 * k + 1] = static_cast<int16_t>(m.dstX - 2);
        mesh.points.push_back(m);
    }
    mesh.reversedTable = mesh.controlTable;
    for (std::size_t k = 1; k <= mesh.points.size(); ++k) {
        std::swap(mesh.reversedTable[4 * k - 2], mesh.reversedTable[4 * k]);
        std::swap(mesh.reversedTable[4 * k - 1], mesh.reversedTable[4 * k + 1]);
    }

    // The mesh is the Delaunay triangulation of the corners and the points
    // where they stand in the source picture; every frame keeps it.
    std::vector<PlanePoint> plane;
    for (int i = 0; i < 4; ++i) {
        const VertexPosition c = MeshVertex(mesh, VertexOfIndex(i), false);
        plane.push_back({double(c.x), double(c.y)});
    }
    for (const MeshPoint& m : mesh.points) plane.push_back({double(m.srcX), double(m.srcY)});
    std::vector<bool> used(plane.size(), false);
    for (const auto& t : DelaunayTriangles(plane)) {
        MorphTriangle triangle{};
        for (std::size_t v = 0; v < 3; ++v) {
            triangle.v[v] = VertexOfIndex(t[v]);
            used[static_cast<std::size_t>(t[v])] = true;
        }
        mesh.triangles.push_back(triangle);
    }
    for (std::size_t i = 4; i < used.size(); ++i)
        if (!used[i])
            throw CliError(Where(s, mesh.points[i - 4].line) + "this point was left out of the triangulation");
    return mesh;
}

bool IsFolded(const MorphMesh& mesh, const MorphTriangle& t)
{
    const int64_t before = Orientation(MeshVertex(mesh, t.v[0], false), MeshVertex(mesh, t.v[1], false),
                                       MeshVertex(mesh, t.v[2], false));
    const int64_t after = Orientation(MeshVertex(mesh, t.v[0], true), MeshVertex(mesh, t.v[1], true),
                                      MeshVertex(mesh, t.v[2], true));
    return before != 0 && (after == 0 || (before > 0) != (after > 0));
}

int CountFoldedTriangles(const MorphMesh& mesh)
{
    int count = 0;
    for (const MorphTriangle& t : mesh.triangles) count += IsFolded(mesh, t) ? 1 : 0;
    return count;
}

int FindCornerOnlyTriangle(const MorphMesh& mesh)
{
    for (std::size_t i = 0; i < mesh.triangles.size(); ++i) {
        const MorphTriangle& t = mesh.triangles[i];
        if (t.v[0] <= 0 && t.v[1] <= 0 && t.v[2] <= 0) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace qvcli

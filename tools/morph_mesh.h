// The host's mesh: control points placed in the output frame, the control
// point table as the renderer reads it, and the Delaunay triangles of the
// points together with the four picture corners.
#pragma once

#include <quorvane/quorvane.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli_options.h"
#include "points_file.h"

namespace qvcli {

struct MeshPoint {
    int srcX = 0, srcY = 0;  // in the source picture after scaling to the output size
    int dstX = 0, dstY = 0;  // in the destination picture, likewise
    double weight = 1.0;
    int line = 0;
};

struct MorphMesh {
    Size2 size;                       // output size; both pictures are this size
    std::vector<MeshPoint> points;    // control point k is points[k - 1]
    std::vector<int16_t> controlTable;  // (y, x) pairs minus 2: value 4k-2.. for point k
    std::vector<int16_t> reversedTable; // the same with source and destination exchanged
    std::vector<MorphTriangle> triangles;
};

// The most control points a mesh takes: vertex numbers and the triangle
// count must fit the renderer's 16-bit fields.
inline constexpr int kMaxControlPoints = 16000;

// A picture coordinate along a side of `from` pixels as the whole output
// pixel it lands on along a side of `to` pixels (clamped to 0..to-1).
int ScaleCoordinate(double value, int from, int to);

struct MeshSource {
    const std::vector<ControlPoint>* points = nullptr;
    Size2 sourceSize, destSize;  // of the pictures the coordinates refer to
    Size2 outputSize;            // both pictures are scaled to this
    std::string pointsName;      // for messages
    // Where each picture lies in the output when not stretched to fill it
    // (--fit): scaled to width x height at (left, top). Width 0: the whole
    // output.
    struct Area {
        int width = 0, height = 0, left = 0, top = 0;
    } sourceArea, destArea;
};

// The points between pictures of sizes `from` and `to`, both stretched over
// an output of `size`; `name` names the points in messages. The source keeps
// a pointer to `points`, so a temporary is refused.
MeshSource MeshSourceFor(const std::vector<ControlPoint>& points, Size2 from, Size2 to, Size2 size, std::string name);
MeshSource MeshSourceFor(const std::vector<ControlPoint>&& points, Size2 from, Size2 to, Size2 size,
                         std::string name) = delete;

// Places, checks and triangulates the points. Throws CliError naming the
// points file and line for a point outside its picture, two points at one
// place, or a point on a picture corner.
MorphMesh BuildMorphMesh(const MeshSource& source);

struct VertexPosition {
    int x = 0, y = 0;
};
// Position of a vertex (corner 0..-3 or control point k) in the source
// (atDest false) or destination picture.
VertexPosition MeshVertex(const MorphMesh& mesh, int16_t vertex, bool atDest);

// Triangles whose corners run the other way round in the destination than
// in the source (or collapse there): the picture folds over itself there.
int CountFoldedTriangles(const MorphMesh& mesh);
bool IsFolded(const MorphMesh& mesh, const MorphTriangle& triangle);

// A triangle of three picture corners, if there is one (index), else -1.
int FindCornerOnlyTriangle(const MorphMesh& mesh);

}  // namespace qvcli

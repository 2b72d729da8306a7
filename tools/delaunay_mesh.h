// Delaunay triangulation of a planar point set, by Qhull.
#pragma once

#include <array>
#include <vector>

namespace qvcli {

struct PlanePoint {
    double x = 0, y = 0;
};

// Triangles as indices into `points`. Throws CliError when Qhull refuses the
// input (fewer than three points, all points on one line).
std::vector<std::array<int, 3>> DelaunayTriangles(const std::vector<PlanePoint>& points);

}  // namespace qvcli

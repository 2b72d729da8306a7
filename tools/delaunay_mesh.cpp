#include "delaunay_mesh.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" {
#include <libqhull_r/qhull_ra.h>
}

#include "cli_error.h"

namespace qvcli {

std::vector<std::array<int, 3>> DelaunayTriangles(const std::vector<PlanePoint>& points)
{
    if (points.size() < 3) throw CliError("a triangulation needs at least three points");
    std::vector<coordT> coords;
    coords.reserve(points.size() * 2);
    for (const PlanePoint& p : points) {
        coords.push_back(p.x);
        coords.push_back(p.y);
    }

    // Qhull's messages go to a memory stream so that a failure can be reported
    // in one line instead of Qhull's own multi-line report.
    char* messages = nullptr;
    std::size_t messageSize = 0;
    FILE* errors = open_memstream(&messages, &messageSize);

    qhT qhullState;
    qhT* qh = &qhullState;
    qh_zero(qh, errors);
    // d: Delaunay; Qt: triangulate non-simplicial facets (four corners of a
    // rectangle lie on one circle); Qbb: scale the last coordinate for
    // precision; Qc: keep coplanar points; Qz: add a point at infinity for
    // cospherical input.
    char options[] = "qhull d Qt Qbb Qc Qz";
    const int status = qh_new_qhull(qh, 2, static_cast<int>(points.size()), coords.data(), False, options,
                                    nullptr, errors);
    std::vector<std::array<int, 3>> triangles;
    if (status == 0) {
        facetT* facet = nullptr;
        vertexT* vertex = nullptr;
        vertexT** vertexp = nullptr;
        FORALLfacets {
            if (facet->upperdelaunay) continue;
            std::array<int, 3> t{};
            int n = 0;
            FOREACHvertex_(facet->vertices) {
                if (n < 3) t[static_cast<std::size_t>(n)] = qh_pointid(qh, vertex->point);
                ++n;
            }
            if (n == 3) triangles.push_back(t);
        }
    }
    qh_freeqhull(qh, !qh_ALL);
    int currentLong = 0, totalLong = 0;
    qh_memfreeshort(qh, &currentLong, &totalLong);
    if (errors != nullptr) std::fclose(errors);

    std::string detail;
    if (messages != nullptr) {
        detail.assign(messages, messageSize);
        std::free(messages);
    }
    if (status != 0) {
        const auto start = detail.find("QH");
        std::string line = start == std::string::npos ? detail : detail.substr(start);
        line = line.substr(0, line.find('\n'));
        throw CliError("the points cannot be triangulated" + (line.empty() ? std::string() : " (Qhull: " + line + ")"));
    }
    return triangles;
}

}  // namespace qvcli

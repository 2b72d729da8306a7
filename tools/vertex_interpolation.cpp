#include "vertex_interpolation.h"

#include <cmath>

namespace qvcli {

double FrameTime(int index, int count)
{
    if (count <= 1) return 0.0;
    return static_cast<double>(index) / static_cast<double>(count - 1);
}

double PointColorShare(double t, double weight)
{
    if (t <= 0.0) return 0.0;
    if (t >= 1.0) return 1.0;
    return 1.0 - std::pow(1.0 - t, weight);
}

void InterpolateVertices(const MorphMesh& mesh, double t, WeightMode mode, FrameVertices& out)
{
    const std::size_t n = mesh.points.size() + 4;
    out.x.resize(n);
    out.y.resize(n);
    out.weights.resize(n);
    // Corners: weight 0 under the flat rule, whose sum divides by the number
    // of control points only, so a corner must add nothing; t otherwise.
    const float cornerWeight = mode == WeightMode::Flat ? 0.0f : static_cast<float>(t);
    for (int16_t v = -3; v <= 0; ++v) {
        const VertexPosition c = MeshVertex(mesh, v, false);
        const auto i = static_cast<std::size_t>(v + 3);
        out.x[i] = static_cast<int16_t>(c.x);
        out.y[i] = static_cast<int16_t>(c.y);
        out.weights[i] = cornerWeight;
    }
    for (std::size_t k = 0; k < mesh.points.size(); ++k) {
        const MeshPoint& p = mesh.points[k];
        const double x = p.srcX + (p.dstX - p.srcX) * t;
        const double y = p.srcY + (p.dstY - p.srcY) * t;
        out.x[k + 4] = static_cast<int16_t>(std::floor(x + 0.5));
        out.y[k + 4] = static_cast<int16_t>(std::floor(y + 0.5));
        out.weights[k + 4] = static_cast<float>(PointColorShare(t, p.weight));
    }
}

bool DrawReversed(double t) { return t > 0.5; }

void ReverseWeights(WeightMode mode, FrameVertices& vertices)
{
    // Flat corners stay 0: they must add nothing to a triangle's sum.
    const std::size_t from = mode == WeightMode::Flat ? 4 : 0;
    for (std::size_t i = from; i < vertices.weights.size(); ++i) vertices.weights[i] = 1.0f - vertices.weights[i];
}

}  // namespace qvcli

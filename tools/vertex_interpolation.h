// Where every vertex stands in one frame, and the per-vertex morph weights.
#pragma once

#include <cstdint>
#include <vector>

#include "morph_mesh.h"

namespace qvcli {

enum class WeightMode {
    Even,    // the renderer's own weight: frame index / frame count
    Smooth,  // per-vertex weights blended across each triangle
    Flat,    // one weight per triangle from its control points
};

// The arrays DrawMorph reads, indexed by vertex number from -3: entry i holds
// vertex i - 3, so x0(), y0() and weights0() (the entries of vertex 0) are
// what the renderer is given.
struct FrameVertices {
    std::vector<int16_t> x, y;
    std::vector<float> weights;
    const int16_t* x0() const { return x.data() + 3; }
    const int16_t* y0() const { return y.data() + 3; }
    const float* weights0() const { return weights.data() + 3; }
};

// Frame `index` of `count` lies at t = index / (count - 1): the first frame
// is the source, the last the destination; a single frame is the source.
double FrameTime(int index, int count);

// How far a point with `weight` has turned towards the destination colours
// at time t: 1 - (1 - t)^weight. Weight 1 turns evenly, larger weights turn
// sooner; every weight gives 0 at t = 0 and 1 at t = 1.
double PointColorShare(double t, double weight);

// Fills `out` for time t: corners stay on the picture corners, control points
// move in a straight line from source to destination, rounded to the pixel.
void InterpolateVertices(const MorphMesh& mesh, double t, WeightMode mode, FrameVertices& out);

// Whether frame time t is drawn with the pictures exchanged: the renderer
// samples its source picture at the pixel nearest the mapped position but
// its destination picture at the pixel below it, so each half of the morph
// takes the picture it is closer to as the renderer's source. The first
// frame is then the source picture exactly and the last the destination.
bool DrawReversed(double t);

// The weights for a reversed frame: each vertex's share of the other picture.
void ReverseWeights(WeightMode mode, FrameVertices& vertices);

}  // namespace qvcli

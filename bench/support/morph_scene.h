// A benchmark scene: two textured pictures and a jittered grid mesh between
// them, in the host layout DrawMorph reads and as plain triangles for peers.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <quorvane/quorvane.h>

namespace qvbench {

struct Scene {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> src, dst;  // 0x00RRGGBB, top row first
    // Vertex arrays from vertex -3 on (index 0 is vertex -3).
    std::vector<int16_t> frameX, frameY;
    std::vector<float> weights;
    std::vector<int16_t> controlPoints;
    std::vector<MorphTriangle> triangles;
    // Per vertex (same indexing): positions in the source and destination picture.
    std::vector<std::array<float, 2>> srcPos, dstPos;
};

// A grid of cols x rows cells (2 triangles each) over width x height pictures,
// at morph time t. Deterministic for the same arguments.
Scene MakeScene(int32_t width, int32_t height, int cols, int rows, float t);

}  // namespace qvbench

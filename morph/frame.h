// The working values of one DrawMorph call. Each call owns its record, so
// calls never share state and the renderer is re-entrant.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

#include "morph/dissolve_factors.h"

namespace qv::morph {

// A picture as the renderer holds it: 0x00RRGGBB words, rows from the top
// down, `width` words a row, no padding. `count` is width * height (>= 1).
struct PictureBuffer {
    uint32_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t count = 0;
};

// The block a visited position stands for: offsets low..high around it.
struct BlockParams {
    int32_t step = 1;
    int32_t low = 0;
    int32_t high = 0;
};

BlockParams MakeBlockParams(int16_t blockSize);

// The host's mesh as DrawMorph reads it. frameX, frameY and vertexWeights
// point at the entry of vertex 0; corners -1..-3 lie before it.
struct HostMesh {
    const int16_t* frameX = nullptr;
    const int16_t* frameY = nullptr;
    const float* vertexWeights = nullptr;
    const int16_t* controlPoints = nullptr;
    MorphTriangle* triangles = nullptr;
};

struct FrameRecord {
    PictureBuffer src;
    PictureBuffer dst;
    PictureBuffer out;
    HostMesh mesh;
    BlockParams block;
    // The destination's share of a pixel; replaced per triangle or per pixel
    // by the weight flags and never reset to the default inside a call.
    float morphWeight = 0.0f;
    // Whole-number dissolve factors of the last weight a triangle started with.
    DissolveFactors dissolve;
};

}  // namespace qv::morph

// A second, deliberately plain renderer used only by the tests: one function
// that follows the rendering rules step by step on ordinary arrays, sharing
// no code with the library. Whole frames from the library are compared with it.
#pragma once

#include <cstdint>
#include <vector>

namespace qv::test {

struct RefTriangle {
    int16_t v[3];
};

struct RefScene {
    // Pictures as 0x00RRGGBB words, top row first.
    std::vector<uint32_t> src, dst;
    int16_t srcW = 0, srcH = 0, dstW = 0, dstH = 0, outW = 0, outH = 0;
    // Vertex arrays indexed from -3: element 0 is vertex -3.
    std::vector<int16_t> frameX, frameY;
    std::vector<float> weights;
    std::vector<int16_t> controlPoints;
    std::vector<RefTriangle> triangles;
    uint32_t background = 0;
    int16_t lastTriangle = -1;
    uint16_t flags = 0;
    int16_t blockSize = 1;
    int16_t frameIndex = 0, frameCount = 1;
};

// Renders the scene; rewrites scene.triangles as the library does and returns
// the output words.
std::vector<uint32_t> ReferenceRender(RefScene& scene);

}  // namespace qv::test

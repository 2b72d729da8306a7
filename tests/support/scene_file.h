// Scenes and rendered frames in a flat little-endian file, so that a host
// program in another build (the Windows one, run under Wine) renders exactly
// the scenes that a test made, and the test reads back what it rendered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/reference_morph.h"

namespace qv::test {

// What a host made of one scene.
struct RenderedScene {
    int32_t result = 0;
    uint32_t argumentBytesRemoved = 0;  // by the call itself (standard call)
    std::vector<RefTriangle> triangles;  // as the call rewrote them
    std::vector<uint32_t> words;         // output picture, top row first
};

bool WriteScenes(const std::string& path, const std::vector<RefScene>& scenes);
bool ReadScenes(const std::string& path, std::vector<RefScene>& scenes);
bool WriteRendered(const std::string& path, const std::vector<RenderedScene>& rendered);
bool ReadRendered(const std::string& path, std::vector<RenderedScene>& rendered);

}  // namespace qv::test

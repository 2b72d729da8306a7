// Host pictures for whole-frame tests: a reference scene turned into host
// bitmaps and device contexts, and DrawMorph run on it through the exports.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include <quorvane/host.h>

#include "support/host_picture.h"
#include "support/reference_morph.h"

namespace qv::test {

// Runs DrawMorph on the scene through the exports (binding its settings) and
// returns the result code; `out` receives the output words and the scene's
// triangles are rewritten as the host would see them.
int32_t RenderThroughLibrary(RefScene& scene, std::vector<uint32_t>& out);

// The same on host bitmaps `extraColumns` wider and `extraRows` taller than
// the call's sizes (the scene's pixels in their top-left corner, the rest
// 0x5A5A5A5A); `out` receives the output bitmap's whole top-down words.
int32_t RenderOnLargerBitmaps(RefScene& scene, int32_t extraColumns, int32_t extraRows, std::vector<uint32_t>& out);

// Top-down words of a w x h picture placed in the corner of one `extraColumns`
// wider and `extraRows` taller, filled with `pad`.
std::vector<uint32_t> Padded(const std::vector<uint32_t>& words, int32_t w, int32_t h, int32_t extraColumns,
                             int32_t extraRows, uint32_t pad);

// A random scene: pictures of random words (top byte random too), a mesh of
// control points, random flags, block size, weights and frame numbers.
RefScene RandomScene(std::mt19937& rng);

}  // namespace qv::test

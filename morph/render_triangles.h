// The triangle loop of one frame.
#pragma once

#include "morph/frame.h"
#include "morph/settings.h"

namespace qv::morph {

// Sets up and scans triangles 0 to lastTriangle, reading lastTriangle, the
// flags and the key through the host's pointers as the loop goes.
void RenderTriangles(FrameRecord& frame, const MorphSettings& settings);

}  // namespace qv::morph

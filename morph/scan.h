// Scan conversion of one set-up triangle: rows and spans in steps of the
// block size, barycentric weights per visited position, then sampling,
// compositing and the block write.
#pragma once

#include <cstdint>

#include "morph/frame.h"
#include "morph/span_kernel.h"
#include "morph/triangle_setup.h"

namespace qv::morph {

// Per-triangle constants of the scan that do not come from the setup.
struct ScanContext {
    uint16_t flags = 0;
    uint32_t key = 0;
};

// Walks the triangle's rows and hands their spans to `kernel`, in batches. Updates
// frame.morphWeight under MORPH_WEIGHT_SMOOTH.
void ScanTriangle(FrameRecord& frame, const TriangleSetup& setup, const ScanContext& context, SpanKernel kernel);

// Column where an edge crosses row y, truncated toward zero.
int32_t EdgeColumn(const Edge& edge, int32_t y);

}  // namespace qv::morph

// The triangle loop of one frame and the scan conversion of each triangle:
// rows and spans in steps of the block size, handed to the span kernel in
// batches. The portable span kernel lives here too: RenderPosition below is
// one visited position the straightforward way (barycentric weights, the
// smooth morph weight, both samples, compositing and the block write), the
// reference that every vectorised kernel matches and uses for its tails.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

#include "morph/composite.h"
#include "morph/frame.h"
#include "morph/numerics.h"
#include "morph/sampling.h"
#include "morph/settings.h"
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

// Sets up and scans triangles 0 to lastTriangle, reading lastTriangle, the
// flags and the key through the host's pointers as the loop goes.
void RenderTriangles(FrameRecord& frame, const MorphSettings& settings);

// w = a * qa - b * qb, in double precision, stored as a float.
inline float Barycentric(int32_t a, float qa, int32_t b, float qb)
{
    return RoundToFloat(static_cast<double>(a) * static_cast<double>(qa) - static_cast<double>(b) * static_cast<double>(qb));
}

inline void RenderPosition(const TriangleJob& job, const RowSpan& row, int32_t x)
{
    const TriangleSetup& s = *job.setup;
    FrameRecord& frame = *job.frame;
    const int32_t dT = WrapSub(s.xTop, x);
    const int32_t dM = WrapSub(s.xMid, x);
    const int32_t dB = WrapSub(s.xBottom, x);
    Weights w;
    w.w0 = Barycentric(dM, row.qBottom, dB, row.qMid);
    w.w1 = Barycentric(dB, row.qTop, dT, row.qBottom);
    w.w2 = Barycentric(dT, row.qMid, dM, row.qTop);
    if (job.flags & MORPH_WEIGHT_SMOOTH) {
        frame.morphWeight = RoundToFloat((static_cast<double>(w.w2) * job.vBottom + static_cast<double>(w.w1) * job.vMid) +
                                         static_cast<double>(w.w0) * job.vTop);
    }
    const uint32_t sColor = SamplePicture(frame.src, s.srcCorners, w, job.flags, job.key, Picture::Source);
    const uint32_t dColor = SamplePicture(frame.dst, s.dstCorners, w, job.flags, job.key, Picture::Destination);
    WriteBlock(frame.out, x, row.y, frame.block, CompositePixel(sColor, dColor, frame.morphWeight, job.flags, job.key));
}

}  // namespace qv::morph

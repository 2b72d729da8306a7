#include "morph/scan.h"

#include <cstddef>

#include "morph/numerics.h"
#include "morph/span_kernel.h"
#include "morph/triangle_setup.h"

namespace qv::morph {
namespace {

bool HasCorner(const MorphTriangle& t) { return t.v[0] <= 0 || t.v[1] <= 0 || t.v[2] <= 0; }

float RowFactor(int32_t vertexRow, int32_t y, float doubleArea)
{
    return RoundToFloat(static_cast<double>(WrapSub(vertexRow, y)) / static_cast<double>(doubleArea));
}

}  // namespace

int32_t EdgeColumn(const Edge& edge, int32_t y)
{
    return TruncToInt32(static_cast<double>(y) * static_cast<double>(edge.slope) + static_cast<double>(edge.intercept));
}

void ScanTriangle(FrameRecord& frame, const TriangleSetup& s, const ScanContext& context, SpanKernel kernel)
{
    TriangleJob job;
    job.frame = &frame;
    job.setup = &s;
    job.flags = context.flags;
    job.key = context.key;
    job.dissolve = &DissolveFactorsFor(frame.dissolve, frame.morphWeight);
    if (context.flags & MORPH_WEIGHT_SMOOTH) {
        // The host's weights are read only when a weight flag asks for them.
        const float* weights = frame.mesh.vertexWeights;
        job.vTop = weights[static_cast<std::ptrdiff_t>(s.top)];
        job.vMid = weights[static_cast<std::ptrdiff_t>(s.middle)];
        job.vBottom = weights[static_cast<std::ptrdiff_t>(s.bottom)];
    }

    // Rows go to the kernel in batches, so that what the rows share is set
    // up once per batch rather than once per row.
    constexpr int kBatch = 64;
    RowSpan batch[kBatch];
    int pending = 0;
    const int64_t step = frame.block.step;
    for (int64_t rowIndex = s.yTop; rowIndex <= s.yBottom; rowIndex += step) {
        RowSpan row;
        row.y = static_cast<int32_t>(rowIndex);
        row.qTop = RowFactor(s.yTop, row.y, s.doubleArea);
        row.qMid = RowFactor(s.yMid, row.y, s.doubleArea);
        row.qBottom = RowFactor(s.yBottom, row.y, s.doubleArea);
        const int32_t xLong = EdgeColumn(s.longEdge, row.y);
        const int32_t xShort = EdgeColumn(row.y <= s.yMid ? s.upperEdge : s.lowerEdge, row.y);
        row.left = s.middleIsLeft ? xShort : xLong;
        row.right = s.middleIsLeft ? xLong : xShort;
        if (row.left > row.right) continue;
        batch[pending++] = row;
        if (pending == kBatch) {
            kernel(job, batch, pending);
            pending = 0;
        }
    }
    if (pending > 0) kernel(job, batch, pending);
}

// The portable span kernel: every position in turn.
void RenderSpanPortable(const TriangleJob& job, const RowSpan* rows, int count)
{
    // A 64-bit counter: a span end near the int32 limit must not overflow the step.
    const int64_t step = job.frame->block.step;
    for (int i = 0; i < count; ++i) {
        const RowSpan& row = rows[i];
        for (int64_t x = row.left; x <= row.right; x += step) RenderPosition(job, row, static_cast<int32_t>(x));
    }
}

void RenderTriangles(FrameRecord& frame, const MorphSettings& settings)
{
    // lastTriangle is read afresh at every comparison and the flags and key
    // per triangle: the host's variables may lie inside the triangle array
    // that the setup rewrites.
    TriangleSetup setup;
    const SpanKernel kernel = ActiveSpanKernel();
    for (int32_t i = 0; i <= *settings.lastTriangle; ++i) {
        if (*settings.renderFlags & MORPH_SKIP_CORNERS) {
            while (i <= *settings.lastTriangle && HasCorner(frame.mesh.triangles[i])) ++i;
            if (i > *settings.lastTriangle) break;
        }
        const uint16_t flags = *settings.renderFlags;
        if (!SetUpTriangle(frame, i, flags, setup)) continue;
        ScanContext context;
        context.flags = *settings.renderFlags;
        context.key = *settings.backgroundColor;
        ScanTriangle(frame, setup, context, kernel);
    }
}

}  // namespace qv::morph

#include "morph/scan.h"

#include <cstddef>

#include "morph/numerics.h"
#include "morph/span_kernel.h"

namespace qv::morph {
namespace {

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

}  // namespace qv::morph

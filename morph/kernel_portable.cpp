#include "morph/position.h"
#include "morph/span_kernel.h"

namespace qv::morph {

void RenderSpanPortable(const TriangleJob& job, const RowSpan* rows, int count)
{
    // A 64-bit counter: a span end near the int32 limit must not overflow the step.
    const int64_t step = job.frame->block.step;
    for (int i = 0; i < count; ++i) {
        const RowSpan& row = rows[i];
        for (int64_t x = row.left; x <= row.right; x += step) RenderPosition(job, row, static_cast<int32_t>(x));
    }
}

}  // namespace qv::morph

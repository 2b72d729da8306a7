// Placeholder until the 8-lane kernel lands: the 4-lane kernel serves.
#include "morph/span_kernel.h"

namespace qv::morph {
void RenderSpanAvx512(const TriangleJob& job, const RowSpan& row) { RenderSpanAvx2(job, row); }
}  // namespace qv::morph

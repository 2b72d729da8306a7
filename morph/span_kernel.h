// The innermost loops of the renderer: all visited positions of a run of
// rows of one triangle. A portable kernel is the reference; vectorised kernels for the
// processor at hand give byte-identical output and are chosen at run time.
#pragma once

#include <cstdint>

#include "common/kernel_choice.h"
#include "morph/dissolve_factors.h"
#include "morph/frame.h"
#include "morph/triangle_setup.h"

namespace qv::morph {

// What every row of a triangle shares.
struct TriangleJob {
    FrameRecord* frame = nullptr;
    const TriangleSetup* setup = nullptr;
    uint16_t flags = 0;
    uint32_t key = 0;
    // The vertices' entries of vertexWeights, read only under MORPH_WEIGHT_SMOOTH.
    double vTop = 0.0, vMid = 0.0, vBottom = 0.0;
    // Fixed-point dissolve factors for the morph weight the triangle starts
    // with; they hold for all its positions unless MORPH_WEIGHT_SMOOTH is set.
    const DissolveFactors* dissolve = nullptr;
};

// One row: its row factors and the columns left..right (both included),
// visited every blockStep columns.
struct RowSpan {
    int32_t y = 0;
    float qTop = 0.0f, qMid = 0.0f, qBottom = 0.0f;
    int32_t left = 0, right = 0;
};

// Renders rows[0 .. count - 1] in order; each has at least one position.
using SpanKernel = void (*)(const TriangleJob& job, const RowSpan* rows, int count);

using qv::Kernel;  // common/kernel_choice.h

using qv::KernelName;  // common/kernel_choice.h
bool KernelAvailable(Kernel kernel);  // built in and supported by this processor
Kernel ActiveKernel();
// Chooses the kernel for all later frames; false (and no change) when it is
// not available. The default is the fastest available one, or the one that
// QUORVANE_KERNEL asks for.
bool UseKernel(Kernel kernel);
SpanKernel ActiveSpanKernel();

void RenderSpanPortable(const TriangleJob& job, const RowSpan* rows, int count);
void RenderSpanAvx2(const TriangleJob& job, const RowSpan* rows, int count);
void RenderSpanAvx512(const TriangleJob& job, const RowSpan* rows, int count);

}  // namespace qv::morph

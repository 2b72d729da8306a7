#include "morph/render_triangles.h"

#include <quorvane/quorvane.h>

#include "morph/scan.h"
#include "morph/triangle_setup.h"

namespace qv::morph {
namespace {

bool HasCorner(const MorphTriangle& t) { return t.v[0] <= 0 || t.v[1] <= 0 || t.v[2] <= 0; }

}  // namespace

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

#include "morph/scan.h"

#include <cstddef>

#include "morph/composite.h"
#include "morph/numerics.h"
#include "morph/sampling.h"

namespace qv::morph {
namespace {

float RowFactor(int32_t vertexRow, int32_t y, float doubleArea)
{
    return RoundToFloat(static_cast<double>(WrapSub(vertexRow, y)) / static_cast<double>(doubleArea));
}

// w = a * qa - b * qb, in double precision, stored as a float.
float Barycentric(int32_t a, float qa, int32_t b, float qb)
{
    return RoundToFloat(static_cast<double>(a) * static_cast<double>(qa) -
                        static_cast<double>(b) * static_cast<double>(qb));
}

}  // namespace

int32_t EdgeColumn(const Edge& edge, int32_t y)
{
    return TruncToInt32(static_cast<double>(y) * static_cast<double>(edge.slope) + static_cast<double>(edge.intercept));
}

void ScanTriangle(FrameRecord& frame, const TriangleSetup& s, const ScanContext& context)
{
    const uint16_t flags = context.flags;
    const int64_t step = frame.block.step;
    const bool smooth = (flags & MORPH_WEIGHT_SMOOTH) != 0;
    // The vertex weights are the host's and only read when a weight flag asks.
    double vTop = 0.0, vMid = 0.0, vBottom = 0.0;
    if (smooth) {
        const float* weights = frame.mesh.vertexWeights;
        vTop = weights[static_cast<std::ptrdiff_t>(s.top)];
        vMid = weights[static_cast<std::ptrdiff_t>(s.middle)];
        vBottom = weights[static_cast<std::ptrdiff_t>(s.bottom)];
    }

    // 64-bit counters: a span end near the int32 limit must not overflow the step.
    for (int64_t row = s.yTop; row <= s.yBottom; row += step) {
        const auto y = static_cast<int32_t>(row);
        const float qTop = RowFactor(s.yTop, y, s.doubleArea);
        const float qMid = RowFactor(s.yMid, y, s.doubleArea);
        const float qBottom = RowFactor(s.yBottom, y, s.doubleArea);
        const int32_t xLong = EdgeColumn(s.longEdge, y);
        const int32_t xShort = EdgeColumn(y <= s.yMid ? s.upperEdge : s.lowerEdge, y);
        const int32_t spanLeft = s.middleIsLeft ? xShort : xLong;
        const int32_t spanRight = s.middleIsLeft ? xLong : xShort;

        for (int64_t column = spanLeft; column <= spanRight; column += step) {
            const auto x = static_cast<int32_t>(column);
            const int32_t dT = WrapSub(s.xTop, x);
            const int32_t dM = WrapSub(s.xMid, x);
            const int32_t dB = WrapSub(s.xBottom, x);
            Weights w;
            w.w0 = Barycentric(dM, qBottom, dB, qMid);
            w.w1 = Barycentric(dB, qTop, dT, qBottom);
            w.w2 = Barycentric(dT, qMid, dM, qTop);
            if (smooth) {
                frame.morphWeight = RoundToFloat((static_cast<double>(w.w2) * vBottom + static_cast<double>(w.w1) * vMid) +
                                                 static_cast<double>(w.w0) * vTop);
            }
            const uint32_t sColor = SamplePicture(frame.src, s.srcCorners, w, flags, context.key, Picture::Source);
            const uint32_t dColor = SamplePicture(frame.dst, s.dstCorners, w, flags, context.key, Picture::Destination);
            WriteBlock(frame.out, x, y, frame.block, CompositePixel(sColor, dColor, frame.morphWeight, flags, context.key));
        }
    }
}

}  // namespace qv::morph

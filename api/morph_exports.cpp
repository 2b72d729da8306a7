// SetVars and DrawMorph: narrow the argument slots and hand over to the renderer.
#include <quorvane/quorvane.h>

#include "morph/draw_morph.h"
#include "morph/settings.h"

namespace {
// A 16-bit argument in a 32-bit slot: only the low half counts, as a signed number.
int16_t Low16(int32_t slot) { return static_cast<int16_t>(static_cast<uint16_t>(slot)); }
}  // namespace

extern "C" {

QV_API void QV_CALL SetVars(const uint32_t* backgroundColor, const int16_t* lastTriangle,
                            const uint16_t* renderFlags, const int16_t* blockSize)
{
    qv::morph::BindSettings({backgroundColor, lastTriangle, renderFlags, blockSize});
}

QV_API int32_t QV_CALL DrawMorph(QvDC srcDC, QvDC dstDC, QvDC outDC, QvBitmap srcBitmap, QvBitmap dstBitmap,
                                 QvBitmap outBitmap, const int16_t* frameX, const int16_t* frameY,
                                 const float* vertexWeights, const int16_t* controlPoints, MorphTriangle* triangles,
                                 int32_t srcWidth, int32_t srcHeight, int32_t dstWidth, int32_t dstHeight,
                                 int32_t outWidth, int32_t outHeight, int32_t frameIndex, int32_t frameCount)
{
    const qv::morph::DrawRequest request{
        srcDC, dstDC, outDC, srcBitmap, dstBitmap, outBitmap, frameX, frameY, vertexWeights, controlPoints,
        triangles, Low16(srcWidth), Low16(srcHeight), Low16(dstWidth), Low16(dstHeight), Low16(outWidth),
        Low16(outHeight), Low16(frameIndex), Low16(frameCount)};
    return qv::morph::DrawMorphFrame(request);
}

}  // extern "C"

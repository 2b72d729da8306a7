// One morph frame from two host pictures and the host's mesh.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

namespace qv::morph {

// The arguments of DrawMorph after narrowing: sizes and frame numbers are the
// signed 16-bit values of their slots.
struct DrawRequest {
    QvDC srcDC, dstDC, outDC;
    QvBitmap srcBitmap, dstBitmap, outBitmap;
    const int16_t* frameX;
    const int16_t* frameY;
    const float* vertexWeights;
    const int16_t* controlPoints;
    MorphTriangle* triangles;
    int16_t srcWidth, srcHeight, dstWidth, dstHeight, outWidth, outHeight;
    int16_t frameIndex, frameCount;
};

int32_t DrawMorphFrame(const DrawRequest& request);

// The fill pixel of the background: the host word's first byte becomes red,
// its second green, its third blue; the top byte is 0.
uint32_t BackgroundFillPixel(uint32_t hostColor);

// frameIndex / frameCount as a float; 0 when frameCount is 0.
float DefaultMorphWeight(int16_t frameIndex, int16_t frameCount);

}  // namespace qv::morph

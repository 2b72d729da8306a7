#include "morph/draw_morph.h"

#include <cstdlib>
#include <cstring>

#include "morph/frame.h"
#include "morph/numerics.h"
#include "morph/render_triangles.h"
#include "morph/settings.h"
#include "platform/graphics.h"

namespace qv::morph {
namespace {

// Owns the three pixel buffers of one call.
struct PixelBuffers {
    uint32_t* src = nullptr;
    uint32_t* dst = nullptr;
    uint32_t* out = nullptr;
    ~PixelBuffers()
    {
        std::free(src);
        std::free(dst);
        std::free(out);
    }
};

// Zeroed, so that a picture read that fails leaves a defined black picture.
uint32_t* AllocatePixels(uint32_t count) { return static_cast<uint32_t*>(std::calloc(count, sizeof(uint32_t))); }

gfx::DibHeader TopDown32Header(int32_t width, int32_t height)
{
    gfx::DibHeader h{};
    h.biSize = sizeof(gfx::DibHeader);
    h.biWidth = width;
    h.biHeight = -height;
    h.biPlanes = 1;
    h.biBitCount = 32;
    h.biCompression = gfx::kBiRgb;
    return h;
}

void ReadPicture(QvDC dc, QvBitmap bitmap, const PictureBuffer& pic)
{
    gfx::DibHeader header = TopDown32Header(pic.width, pic.height);
    gfx::GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(pic.height), pic.pixels, &header, gfx::kDibRgbColors);
}

PictureBuffer Describe(uint32_t* pixels, int16_t width, int16_t height)
{
    return {pixels, width, height, static_cast<uint32_t>(width) * static_cast<uint32_t>(height)};
}

}  // namespace

uint32_t BackgroundFillPixel(uint32_t hostColor)
{
    uint8_t b[4];
    std::memcpy(b, &hostColor, 4);
    return (static_cast<uint32_t>(b[0]) << 16) | (static_cast<uint32_t>(b[1]) << 8) | b[2];
}

float DefaultMorphWeight(int16_t frameIndex, int16_t frameCount)
{
    if (frameCount == 0) return 0.0f;
    return RoundToFloat(static_cast<double>(frameIndex) / static_cast<double>(frameCount));
}

int32_t DrawMorphFrame(const DrawRequest& r)
{
    const MorphSettings settings = BoundSettings();
    if (settings.backgroundColor == nullptr) return MORPH_NOT_BOUND;
    // Every pixel count must be at least 1 for the wrapped reads and writes to
    // stay inside their buffers.
    if (r.srcWidth < 1 || r.srcHeight < 1 || r.dstWidth < 1 || r.dstHeight < 1 || r.outWidth < 1 ||
        r.outHeight < 1)
        return MORPH_BAD_SIZE;

    FrameRecord frame;
    PixelBuffers buffers;
    frame.src = Describe(nullptr, r.srcWidth, r.srcHeight);
    frame.dst = Describe(nullptr, r.dstWidth, r.dstHeight);
    frame.out = Describe(nullptr, r.outWidth, r.outHeight);
    if (!(buffers.src = AllocatePixels(frame.src.count))) return MORPH_NO_MEMORY;
    if (!(buffers.dst = AllocatePixels(frame.dst.count))) return MORPH_NO_MEMORY;
    if (!(buffers.out = AllocatePixels(frame.out.count))) return MORPH_NO_MEMORY;
    frame.src.pixels = buffers.src;
    frame.dst.pixels = buffers.dst;
    frame.out.pixels = buffers.out;

    const uint32_t fill = BackgroundFillPixel(*settings.backgroundColor);
    for (uint32_t i = 0; i < frame.out.count; ++i) frame.out.pixels[i] = fill;

    ReadPicture(r.srcDC, r.srcBitmap, frame.src);
    ReadPicture(r.dstDC, r.dstBitmap, frame.dst);
    frame.morphWeight = DefaultMorphWeight(r.frameIndex, r.frameCount);

    if (*settings.renderFlags & (MORPH_USE_SOURCE | MORPH_USE_DEST)) {
        frame.block = MakeBlockParams(*settings.blockSize);
        frame.mesh = {r.frameX, r.frameY, r.vertexWeights, r.controlPoints, r.triangles};
        RenderTriangles(frame, settings);
    }

    gfx::DibHeader header = TopDown32Header(frame.out.width, frame.out.height);
    gfx::SetDIBits(r.outDC, r.outBitmap, 0, static_cast<uint32_t>(frame.out.height), frame.out.pixels, &header,
                   gfx::kDibRgbColors);
    return MORPH_OK;
}

}  // namespace qv::morph

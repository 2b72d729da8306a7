#include "morph/draw_morph.h"

#include "common/result_codes.h"

#include <algorithm>
#include <cstring>

#include "morph/frame.h"
#include "morph/numerics.h"
#include "morph/pixel_buffers.h"
#include "morph/scan.h"
#include "morph/settings.h"
#include "platform/graphics.h"

namespace qv::morph {
namespace {

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

// True when the host's bitmap has a pixel behind every pixel of the buffer
// (asked with the format query: no buffer and a bit count of 0).
bool BitmapCovers(QvDC dc, QvBitmap bitmap, const PictureBuffer& pic)
{
    gfx::DibInfo query{};
    query.header.biSize = sizeof(gfx::DibHeader);
    if (gfx::GetDIBits(dc, bitmap, 0, 0, nullptr, &query, gfx::kDibRgbColors) <= 0) return false;
    const int64_t height = query.header.biHeight < 0 ? -int64_t{query.header.biHeight} : query.header.biHeight;
    return query.header.biWidth >= pic.width && height >= pic.height;
}

// The buffer is reused from earlier frames: wherever the host's bitmap cannot
// fill it (a failed read, a smaller bitmap) it is cleared first, so the
// frame sees a defined black picture rather than older pixels.
void ReadPicture(QvDC dc, QvBitmap bitmap, const PictureBuffer& pic)
{
    const bool covers = BitmapCovers(dc, bitmap, pic);
    const size_t bytes = static_cast<size_t>(pic.count) * sizeof(uint32_t);
    if (!covers) std::memset(pic.pixels, 0, bytes);
    gfx::DibHeader header = TopDown32Header(pic.width, pic.height);
    if (gfx::GetDIBits(dc, bitmap, 0, static_cast<uint32_t>(pic.height), pic.pixels, &header, gfx::kDibRgbColors) <
            pic.height &&
        covers)
        std::memset(pic.pixels, 0, bytes);
}

uint32_t PixelCount(int16_t width, int16_t height) { return static_cast<uint32_t>(width) * static_cast<uint32_t>(height); }

PictureBuffer Describe(uint32_t* pixels, int16_t width, int16_t height)
{
    return {pixels, width, height, PixelCount(width, height)};
}

// Under memory pressure nothing is kept: the thread's buffers go too.
int32_t FailAllocation()
{
    ReleaseThreadPixelBuffers();
    return qv::result::kMorphNoMemory;
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
    if (settings.backgroundColor == nullptr) return qv::result::kMorphNotBound;
    // Every pixel count must be at least 1 for the wrapped reads and writes to
    // stay inside their buffers.
    if (r.srcWidth < 1 || r.srcHeight < 1 || r.dstWidth < 1 || r.dstHeight < 1 || r.outWidth < 1 ||
        r.outHeight < 1)
        return qv::result::kMorphBadSize;

    // A picture whose bitmap already holds exactly the words a read would
    // give is sampled where it lies; only the others are copied.
    FrameRecord frame;
    uint32_t* const srcWords = gfx::DirectPixelWords(r.srcBitmap, r.srcWidth, r.srcHeight);
    uint32_t* const dstWords = gfx::DirectPixelWords(r.dstBitmap, r.dstWidth, r.dstHeight);
    frame.src = Describe(srcWords ? srcWords : AcquirePixels(BufferSlot::Source, PixelCount(r.srcWidth, r.srcHeight)),
                         r.srcWidth, r.srcHeight);
    if (!frame.src.pixels) return FailAllocation();
    frame.dst = Describe(dstWords ? dstWords : AcquirePixels(BufferSlot::Destination, PixelCount(r.dstWidth, r.dstHeight)),
                         r.dstWidth, r.dstHeight);
    if (!frame.dst.pixels) return FailAllocation();
    // The output is rendered in its bitmap too, unless that bitmap is also a
    // picture, whose words must stay as they are until the end.
    uint32_t* const outWords = r.outBitmap != r.srcBitmap && r.outBitmap != r.dstBitmap
                                   ? gfx::DirectPixelWords(r.outBitmap, r.outWidth, r.outHeight)
                                   : nullptr;
    frame.out = Describe(outWords ? outWords : AcquirePixels(BufferSlot::Output, PixelCount(r.outWidth, r.outHeight)),
                         r.outWidth, r.outHeight);
    if (!frame.out.pixels) return FailAllocation();

    FillWords(frame.out.pixels, frame.out.count, BackgroundFillPixel(*settings.backgroundColor));

    if (!srcWords) ReadPicture(r.srcDC, r.srcBitmap, frame.src);
    if (!dstWords) ReadPicture(r.dstDC, r.dstBitmap, frame.dst);
    frame.morphWeight = DefaultMorphWeight(r.frameIndex, r.frameCount);

    if (*settings.renderFlags & (MORPH_USE_SOURCE | MORPH_USE_DEST)) {
        frame.block = MakeBlockParams(*settings.blockSize);
        frame.mesh = {r.frameX, r.frameY, r.vertexWeights, r.controlPoints, r.triangles};
        RenderTriangles(frame, settings);
    }

    if (outWords) return qv::result::kMorphOk;
    gfx::DibHeader header = TopDown32Header(frame.out.width, frame.out.height);
    gfx::SetDIBits(r.outDC, r.outBitmap, 0, static_cast<uint32_t>(frame.out.height), frame.out.pixels, &header,
                   gfx::kDibRgbColors);
    return qv::result::kMorphOk;
}

}  // namespace qv::morph

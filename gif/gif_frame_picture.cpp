#include "gif/gif_frame_picture.h"

namespace qv::gif {

FramePicture AcquireFramePicture(FIBITMAP* workBitmap, int16_t bitsPerPixel)
{
    if (bitsPerPixel == 8) {
        return {workBitmap, false};
    }
    if (bitsPerPixel == 24) {
        return {FreeImage_ColorQuantize(workBitmap, FIQ_NNQUANT), true};
    }
    FIBITMAP* wide = FreeImage_ConvertTo24Bits(workBitmap);
    if (wide == nullptr) {
        return {nullptr, true};
    }
    // FreeImage's quantiser throws when its own allocations fail; the
    // widened copy must go either way.
    FIBITMAP* quantised = nullptr;
    try {
        quantised = FreeImage_ColorQuantize(wide, FIQ_NNQUANT);
    } catch (...) {
        quantised = nullptr;
    }
    FreeImage_Unload(wide);
    return {quantised, true};
}

void ReleaseFramePicture(FramePicture& frame)
{
    if (frame.owned && frame.picture != nullptr) {
        FreeImage_Unload(frame.picture);
    }
    frame = {};
}

}  // namespace qv::gif

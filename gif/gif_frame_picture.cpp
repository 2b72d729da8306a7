#include "gif/gif_frame_picture.h"

#include "platform/gif_quantizer.h"

namespace qv::gif {

FramePicture AcquireFramePicture(FIBITMAP* workBitmap, int16_t bitsPerPixel)
{
    if (bitsPerPixel == 8) {
        return {workBitmap, false};
    }
    if (bitsPerPixel == 24) {
        return {platform::QuantizeGifFrame(workBitmap), true};
    }
    FIBITMAP* wide = FreeImage_ConvertTo24Bits(workBitmap);
    if (wide == nullptr) {
        return {nullptr, true};
    }
    FIBITMAP* quantised = platform::QuantizeGifFrame(wide);
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

// Animated GIF writer exports: narrow the 16-bit arguments and hand over to
// the writer, which checks its handle.
#include <quorvane/quorvane.h>

#include "gif/gif_writer.h"

extern "C" {

QV_API int32_t QV_CALL RenderAnimatedGIFStart(const char* fileName, int32_t width, int32_t height,
                                              int32_t bitsPerPixel, int32_t frameRate,
                                              int32_t loopCount, GifWriter** writerOut)
{
    return qv::gif::StartWriter(fileName, width, height, bitsPerPixel, frameRate,
                                static_cast<uint16_t>(loopCount), writerOut);
}

QV_API int32_t QV_CALL RenderAnimatedGIF(QvDC frameDC, QvBitmap frameBitmap, int32_t holdFrames,
                                         GifWriter* writer)
{
    return qv::gif::WriteFrame(frameDC, frameBitmap, static_cast<uint16_t>(holdFrames), writer);
}

QV_API void QV_CALL RenderAnimatedGIFEnd(GifWriter* writer) { qv::gif::EndWriter(writer); }

}  // extern "C"

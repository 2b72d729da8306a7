// Animated GIF writer exports (not yet implemented: every call fails cleanly).
#include <quorvane/quorvane.h>

extern "C" {

QV_API int32_t QV_CALL RenderAnimatedGIFStart(const char*, int32_t, int32_t, int32_t, int32_t, int32_t,
                                              GifWriter**)
{
    return 1;
}

QV_API int32_t QV_CALL RenderAnimatedGIF(QvDC, QvBitmap, int32_t, GifWriter*) { return 3; }

QV_API void QV_CALL RenderAnimatedGIFEnd(GifWriter*) {}

}  // extern "C"

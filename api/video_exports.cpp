// Video writer and reader exports (not yet implemented: every call fails cleanly).
#include <quorvane/quorvane.h>

extern "C" {

QV_API int32_t QV_CALL RenderCompressedStart(QvWindow, const char*, int32_t, int32_t, int32_t, int32_t,
                                             int32_t, AviWriter**)
{
    return 1;
}

QV_API int32_t QV_CALL RenderCompressed(QvDC, QvBitmap, uint32_t, AviWriter*) { return 1; }

QV_API void QV_CALL RenderCompressedEnd(AviWriter*) {}

QV_API int32_t QV_CALL GetAVIinfo(const char*, int32_t*, int32_t*, float*, int32_t*) { return 1; }

QV_API int32_t QV_CALL GetAVIframe(QvDC, const char*, int32_t, float) { return 1; }

}  // extern "C"

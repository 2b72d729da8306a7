// Morph renderer exports (placeholder).
#include <quorvane/quorvane.h>

extern "C" {
QV_API void QV_CALL SetVars(const uint32_t*, const int16_t*, const uint16_t*, const int16_t*) {}
QV_API int32_t QV_CALL DrawMorph(QvDC, QvDC, QvDC, QvBitmap, QvBitmap, QvBitmap, const int16_t*, const int16_t*,
                                 const float*, const int16_t*, MorphTriangle*, int32_t, int32_t, int32_t,
                                 int32_t, int32_t, int32_t, int32_t, int32_t)
{
    return 42;
}
}

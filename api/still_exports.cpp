// Still-image export (not yet implemented: reports "not saved").
#include <quorvane/quorvane.h>

extern "C" QV_API int32_t QV_CALL SaveToFreeImage(QvDC, QvBitmap, int32_t, int32_t, int32_t, const char*,
                                                  int32_t, int32_t)
{
    return 0;
}

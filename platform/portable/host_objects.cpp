// Placeholder host stand-ins: replaced by the real implementation.
#include <quorvane/host.h>

#include "platform/graphics.h"

extern "C" {
QV_API HostBitmap* CreateHostBitmap(int32_t, int32_t, int32_t) { return nullptr; }
QV_API void DeleteHostBitmap(HostBitmap*) {}
QV_API uint8_t* GetHostBitmapBits(HostBitmap*) { return nullptr; }
QV_API int32_t GetHostBitmapStride(const HostBitmap*) { return 0; }
QV_API int32_t GetHostBitmapWidth(const HostBitmap*) { return 0; }
QV_API int32_t GetHostBitmapHeight(const HostBitmap*) { return 0; }
QV_API int32_t GetHostBitmapDepth(const HostBitmap*) { return 0; }
QV_API uint32_t* GetHostBitmapPalette(HostBitmap*) { return nullptr; }
QV_API HostDC* CreateHostDC(HostBitmap*) { return nullptr; }
QV_API HostBitmap* SelectHostBitmap(HostDC*, HostBitmap*) { return nullptr; }
QV_API HostBitmap* GetHostSelectedBitmap(const HostDC*) { return nullptr; }
QV_API int32_t GetHostStretchMode(const HostDC*) { return 0; }
QV_API void DeleteHostDC(HostDC*) {}
QV_API HostWindow* CreateHostWindow(HostCompressorChooser, void*) { return nullptr; }
QV_API void DeleteHostWindow(HostWindow*) {}
}

namespace qv::gfx {
uint32_t DibStride(int32_t, int32_t) { return 0; }
int32_t GetDIBits(QvDC, QvBitmap, uint32_t, uint32_t, void*, void*, uint32_t) { return 0; }
int32_t SetDIBits(QvDC, QvBitmap, uint32_t, uint32_t, const void*, const void*, uint32_t) { return 0; }
int32_t SetDIBitsToDevice(QvDC, int32_t, int32_t, uint32_t, uint32_t, int32_t, int32_t, uint32_t, uint32_t,
                          const void*, const void*, uint32_t)
{
    return 0;
}
int32_t SetStretchBltMode(QvDC, int32_t) { return 0; }
int32_t StretchDIBits(QvDC, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t,
                      const void*, const void*, uint32_t, uint32_t)
{
    return 0;
}
}  // namespace qv::gfx

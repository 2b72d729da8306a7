// Memory device contexts: one selected bitmap and the stretch mode.
#include <new>

#include "platform/portable/host_objects.h"

extern "C" {

QV_API HostDC* CreateHostDC(HostBitmap* selected)
{
    auto* dc = new (std::nothrow) HostDC;
    if (dc != nullptr) dc->selected = selected;
    return dc;
}

QV_API HostBitmap* SelectHostBitmap(HostDC* dc, HostBitmap* bitmap)
{
    if (dc == nullptr) return nullptr;
    HostBitmap* previous = dc->selected;
    dc->selected = bitmap;
    return previous;
}

QV_API HostBitmap* GetHostSelectedBitmap(const HostDC* dc)
{
    return dc != nullptr ? dc->selected : nullptr;
}

QV_API int32_t GetHostStretchMode(const HostDC* dc) { return dc != nullptr ? dc->stretchMode : 0; }

QV_API void DeleteHostDC(HostDC* dc) { delete dc; }

}  // extern "C"

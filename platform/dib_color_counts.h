// GDI's GetDIBits sets biClrUsed of a palette DIB to 0 when it fills the
// colour table. FreeImage finds a picture's pixels biClrUsed colour entries
// after its header, so a cleared count makes it read the colour table as
// pixels. Both platforms' GetDIBits run their read through this, which puts
// the caller's colour counts back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/graphics.h"

namespace qv::gfx {

// Calls `read` (the platform's GetDIBits) and, for a DIB of 1 to 8 bits,
// restores biClrUsed and biClrImportant as they were before it.
template <typename Read>
int32_t KeepingColorCounts(void* info, Read read)
{
    DibHeader before{};
    bool palette = false;
    if (info != nullptr) {
        std::memcpy(&before, info, sizeof before);
        palette = before.biSize >= sizeof before && before.biBitCount >= 1 && before.biBitCount <= 8;
    }
    const int32_t rows = read();
    if (palette) {
        auto* bytes = static_cast<uint8_t*>(info);
        std::memcpy(bytes + offsetof(DibHeader, biClrUsed), &before.biClrUsed, sizeof before.biClrUsed);
        std::memcpy(bytes + offsetof(DibHeader, biClrImportant), &before.biClrImportant,
                    sizeof before.biClrImportant);
    }
    return rows;
}

}  // namespace qv::gfx

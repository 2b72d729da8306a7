// The portable stand-in for GDI's GetDIBits, with GDI's handling of the
// colour counts: filling a palette DIB's colour table sets biClrUsed to 0.
// gfx::GetDIBits wraps it as it wraps GDI's call (platform/graphics.h).
#pragma once

#include <cstdint>

#include "platform/graphics.h"

namespace qv::host {

int32_t ReadBitmapLikeGdi(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits, void* info,
                          uint32_t usage);

}  // namespace qv::host

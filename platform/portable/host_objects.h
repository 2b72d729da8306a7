// The portable stand-ins behind the host handles of <quorvane/host.h>.
// Internal to platform/portable: subsystems reach pixels only through
// platform/graphics.h.
#pragma once

#include <cstdint>
#include <memory>

#include <quorvane/host.h>

// A picture in device-independent layout: rows from the top row down, each
// `stride` bytes (a multiple of 4), pixels packed as in a DIB of `depth` bits.
struct HostBitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t stride = 0;
    std::unique_ptr<uint8_t[]> bits;
    // 0x00RRGGBB; the first 2^depth entries are in use at depths up to 8.
    uint32_t palette[256] = {};
};

// A memory device context: the selected bitmap (not owned) and the stretch mode.
struct HostDC {
    HostBitmap* selected = nullptr;
    int32_t stretchMode = 1;  // BLACKONWHITE, as a fresh GDI device context
};

struct HostWindow {
    HostCompressorChooser chooser = nullptr;
    void* context = nullptr;
};

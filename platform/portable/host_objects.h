// The portable stand-ins behind the host handles of <quorvane/host.h>.
// Internal to platform/portable: subsystems reach pixels only through
// platform/graphics.h.
#pragma once

#include <cstdint>
#include <memory>

#include <quorvane/host.h>

// Pixel memory of a host bitmap, from AllocatePixelBytes.
struct FreePixelBytes {
    void operator()(uint8_t* bytes) const;
};
using PixelBytes = std::unique_ptr<uint8_t[], FreePixelBytes>;

// `bytes` bytes of pixel memory, or null. Large pictures are placed on 2 MiB
// boundaries and offered transparent huge pages: a morph reads its pictures
// along triangle rows, one picture row apart, and with 4 KiB pages nearly
// every such row needs its own address translation.
PixelBytes AllocatePixelBytes(uint64_t bytes);

// A picture in device-independent layout: rows from the top row down, each
// `stride` bytes (a multiple of 4), pixels packed as in a DIB of `depth` bits.
struct HostBitmap {
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t stride = 0;
    PixelBytes bits;
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

// Reading the BITMAPINFO that callers pass with a DIB: which layouts are
// accepted, where the rows and the colour table are.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/portable/pixel_codec.h"

namespace qv::host {

// A DIB layout the stand-ins can read and write.
struct DibFormat {
    PixelFormat format;
    uint32_t headerSize;  // biSize: the colour table starts here
    int32_t width;
    int64_t height;  // rows, positive
    bool bottomUp;   // biHeight > 0
    uint32_t stride;
    // Colour-table entries a DIB of 8 bits or fewer brings along: biClrUsed,
    // or 2^depth when it is 0 or larger.
    uint32_t colorsUsed;
    bool bitfields;  // BI_BITFIELDS: three masks follow the first 40 bytes
};

// Accepted: biSize 40 to 124; biBitCount 1, 4, 8, 16, 24 or 32; biWidth > 0;
// biHeight != 0 (either sign); BI_RGB, or BI_BITFIELDS at 16 bits with the
// masks 5-5-5 or 5-6-5 and at 32 bits with 8-8-8, the masks stored after
// the first 40 bytes; all three masks 0 count as the BI_RGB layout. Rows
// must fit 32 bits. `usage` must be DIB_RGB_COLORS. Anything else: nullopt.
std::optional<DibFormat> ParseDib(const void* info, uint32_t usage);

// The 2^depth palette (0x00RRGGBB) of a DIB of 8 bits or fewer: its colour
// table, black past the used entries.
void ReadDibColors(const void* info, const DibFormat& format, uint32_t* palette);

// For a BI_BITFIELDS DIB, stores the masks of the layout actually used
// (5-5-5 where all three were 0), as GDI reports them.
void WriteDibMasks(void* info, const DibFormat& format);

// Writes 2^depth RGBQUAD entries after the header (reserved bytes 0).
void WriteDibColors(void* info, const DibFormat& format, const uint32_t* palette);

}  // namespace qv::host

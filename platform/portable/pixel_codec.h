// Packing, unpacking and colour conversion of DIB pixel rows.
//
// Rows are handled as arrays of 32-bit "raw" values: a palette index, a
// 16-bit word, a 24-bit pixel as 0xRRGGBB, or a 32-bit word with its top
// byte. A `PixelConverter` turns the raw values of one format into those of
// another, through 0x00RRGGBB colours where the formats differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/portable/nearest_color.h"

namespace qv::host {

enum class PixelFormat : uint8_t { Index1, Index4, Index8, Rgb555, Rgb565, Rgb24, Rgb32 };

uint32_t BitsPerPixel(PixelFormat format);
bool IsIndexed(PixelFormat format);

// Raw values of pixels [x0, x0 + count) of `row`. 1- and 4-bit pixels are
// packed from the most significant bits of each byte, as in DIBs.
void UnpackRow(const uint8_t* row, PixelFormat format, uint32_t x0, uint32_t count, uint32_t* out);

// Raw values of the pixels at the given columns of `row`.
void GatherRow(const uint8_t* row, PixelFormat format, const uint32_t* columns, uint32_t count,
               uint32_t* out);

// Stores raw values into pixels [x0, x0 + count) of `row`; neighbouring
// pixels that share a byte with them keep their bits.
void PackRow(const uint32_t* in, uint32_t count, PixelFormat format, uint8_t* row, uint32_t x0);

// True where a single loop converts rows between the two formats (24 and
// 32 bits either way) with the results PixelConverter would give.
bool HasDirectRowConversion(PixelFormat source, PixelFormat target);
void ConvertRowDirect(const uint8_t* source, PixelFormat sourceFormat, uint32_t sourceX, uint8_t* target,
                      PixelFormat targetFormat, uint32_t targetX, uint32_t count);

// Converts raw values of one format into raw values of another.
//  - Same format (a 16-bit layout or more): values unchanged, so a 32-bit
//    word keeps its top byte and a 16-bit word its unused top bit.
//  - Palette to palette: each source entry goes to the destination entry of
//    the same index when both hold the same colour, else to the nearest one.
//  - Anything else goes through 0x00RRGGBB: 5-bit channels widen as
//    v * 255 / 31 and 6-bit ones as v * 255 / 63 (truncated), 24 and 32
//    bits give their channels, a 32-bit top byte is dropped; a 16-bit
//    target takes the top bits of each channel, a 32-bit target gets top
//    byte 0, a palette target its nearest entry.
// Palettes hold 0x00RRGGBB values; a source palette has 2^depth entries
// (entries past the picture's colour table set to black), a destination
// palette `targetCount` entries.
class PixelConverter {
public:
    PixelConverter(PixelFormat source, const uint32_t* sourcePalette, PixelFormat target,
                   const uint32_t* targetPalette, uint32_t targetCount);

    bool Identity() const { return identity_; }
    void Convert(uint32_t* values, uint32_t count);

private:
    PixelFormat source_;
    PixelFormat target_;
    const uint32_t* sourcePalette_;
    bool identity_ = false;
    bool translate_ = false;  // palette to palette through translation_
    uint8_t translation_[256] = {};
    NearestColorIndex nearest_;
};

}  // namespace qv::host

// Pictures of 16 bits a sample (grey, grey with alpha, RGB, RGBA) narrowed
// to 8 bits the way ImageMagick narrows them (`-depth 8`): every sample v
// becomes v / 257 rounded down, so 0 and 65535 stay black and white and a
// picture widened from 8 bits (v * 257) comes back exactly. FreeImage's own
// conversions take the top byte of colour samples (one level brighter than
// that in places) and stretch grey pictures between their darkest and
// brightest sample, which changes a picture's brightness.
#pragma once

#include <FreeImage.h>

#include <cstdint>

namespace qvcli {

uint8_t NarrowSample(uint16_t value);
// Alpha narrows the other way round (65535 - v down, so v / 257 up), as
// ImageMagick narrows the opacity it keeps in place of alpha.
uint8_t NarrowAlpha(uint16_t value);

// A new 8-bit grey (from FIT_UINT16), 24-bit (FIT_RGB16) or 32-bit
// (FIT_RGBA16) bitmap; null for other types or when memory runs out.
FIBITMAP* NarrowSixteenBitPicture(FIBITMAP* picture);

}  // namespace qvcli

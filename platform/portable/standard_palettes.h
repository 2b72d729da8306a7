// The colour tables a fresh bitmap of 1, 4 or 8 bits starts with, and that a
// read into a palette DIB of another depth maps onto.
#pragma once

#include <cstdint>

namespace qv::host {

// Fills the 2^bitsPerPixel entries (0x00RRGGBB) of the standard palette of a
// depth of 1, 4 or 8 bits; other depths leave `palette` untouched.
//   1 bit:  black, white.
//   4 bits: the 16 colours of the Windows default palette, in its order
//           (black, maroon, green, olive, navy, purple, teal, silver, grey,
//           red, lime, yellow, blue, fuchsia, aqua, white).
//   8 bits: entries 0-215 the 6x6x6 colour cube, index 36r + 6g + b with
//           channel levels 0, 51, 102, ..., 255; entries 216-255 a grey ramp,
//           entry 216 + i = grey round(255 (i + 1) / 41), which repeats no
//           grey of the cube.
void FillStandardPalette(int32_t bitsPerPixel, uint32_t* palette);

}  // namespace qv::host

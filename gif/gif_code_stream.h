// The image data of one frame: an LZW code stream that uses literal codes
// only (one 9-bit code per pixel, a clear code after every 254 literals, so
// a decoder's table never outgrows 9-bit codes), framed into sub-blocks.
#pragma once

#include <cstdint>
#include <cstdio>

#include <FreeImage.h>

namespace qv::gif {

inline constexpr uint8_t kMinimumCodeSize = 8;
inline constexpr uint32_t kCodeWidth = 9;
inline constexpr uint32_t kClearCode = 256;
inline constexpr uint32_t kEndCode = 257;
inline constexpr uint32_t kLiteralsPerClear = 254;
inline constexpr uint32_t kMaxSubBlockBytes = 255;

// Writes the minimum code size, the sub-blocks and the block terminator for
// `width` x `height` pixels of the 8-bit `picture`, top row first (FreeImage
// keeps rows bottom-up, so scan line height-1 goes first). The picture must
// have at least that many rows and columns. Each sub-block's length byte is
// written as 255 first and the last one corrected by seeking back. Returns
// false when a seek failed (the stream cannot be fixed up).
bool WriteLiteralCodeStream(std::FILE* file, FIBITMAP* picture, uint16_t width, uint16_t height);

}  // namespace qv::gif

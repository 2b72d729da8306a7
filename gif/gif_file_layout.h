// Every byte of an animated GIF89a file as this library writes it: the fixed
// groups (file header with the looping extension, per-frame graphic control
// extension and image descriptor, local colour table, trailer) and the image
// data of a frame, an LZW code stream that uses literal codes only (one
// 9-bit code per pixel, a clear code after every 254 literals, so a
// decoder's table never outgrows 9-bit codes), framed into sub-blocks. The
// writer (gif_writer.cpp) calls these in file order; the codes are packed by
// the bit accumulator (bit_accumulator.h).
#pragma once

#include <cstdint>
#include <cstdio>

#include <FreeImage.h>

namespace qv::gif {

inline constexpr uint32_t kFileHeaderBytes = 32;
inline constexpr uint32_t kFramePrefixBytes = 18;
inline constexpr uint32_t kColorTableEntries = 256;
inline constexpr uint8_t kTrailer = 0x3B;

// Display time of one frame period in hundredths of a second for a rate in
// hundredths of a frame per second, rounded half up: 2500 -> 4, 1 -> 10000,
// above 20000 -> 0. A rate of 0 or below has no period; it gives 0.
uint16_t FrameDelayFromRate(int32_t frameRate);

// frameDelay * holdFrames, modulo 65536 (the GIF delay field is 16 bits).
uint16_t FrameDisplayTime(uint16_t frameDelay, uint16_t holdFrames);

// "GIF89a", logical screen, no global colour table, looping extension.
void WriteFileHeader(std::FILE* file, uint16_t width, uint16_t height, uint16_t loopCount);

// Graphic control extension (restore to background, no transparency) and
// the image descriptor up to and including its packed field (local table of
// 256 entries follows).
void WriteFramePrefix(std::FILE* file, uint16_t delay, uint16_t width, uint16_t height);

// 256 entries of red, green, blue from FreeImage's blue-green-red-reserved
// palette, one byte per write.
void WriteColorTable(std::FILE* file, const RGBQUAD* palette);

void WriteTrailer(std::FILE* file);


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

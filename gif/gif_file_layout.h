// The fixed byte groups of an animated GIF89a file as this library writes
// it: file header with the looping extension, per-frame graphic control
// extension and image descriptor, local colour table, trailer.
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

}  // namespace qv::gif

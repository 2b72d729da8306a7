// Builds AVI files byte by byte for the reader tests, in the shapes other
// writers produce: JUNK padding, stream names, chunk types of every kind,
// index offsets relative to 'movi' or absolute.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

struct AviBuildFrame {
    std::string chunkId;  // "00db", "00dc", ...
    std::vector<uint8_t> data;
    bool keyFrame = true;
};

struct AviBuildSpec {
    uint32_t avihFlags = 0x10;  // AVIF_HASINDEX
    uint32_t fccHandler = 0;
    uint32_t scale = 100;
    uint32_t rate = 2500;
    uint32_t start = 0;
    int32_t length = -1;  // -1: the number of frames
    int16_t rect[4] = {0, 0, 0, 0};
    std::vector<uint8_t> format;  // strf payload
    std::string streamName;       // strn chunk when not empty
    uint32_t junkBeforeMovi = 0;  // size of a JUNK chunk after the header list
    bool absoluteIndex = false;   // idx1 offsets from the file start
    std::vector<AviBuildFrame> frames;
};

std::vector<uint8_t> BuildAvi(const AviBuildSpec& spec);

// A BITMAPINFOHEADER with its colour table (biClrUsed entries, or none).
std::vector<uint8_t> DibFormat(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                               const std::vector<uint32_t>& palette, uint32_t clrUsed);

// Encodes bottom-up 8-bit rows as BI_RLE8: runs of at most 255, end of
// line, end of bitmap.
std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& bottomUpRows, int32_t width, int32_t height,
                                int32_t stride);

}  // namespace qv::test

// Animated GIF files read two ways: by giflib (an independent decoder) and
// by a block walker that records the file's structure byte by byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

struct DecodedFrame {
    int left = 0, top = 0, width = 0, height = 0;
    int delay = -1;     // hundredths of a second from the control extension
    int disposal = -1;  // disposal method
    int transparentIndex = -2;
    bool interlaced = false;
    std::vector<Rgb> palette;      // local colour table
    std::vector<uint8_t> indices;  // top row first
    Rgb colorAt(int x, int y) const { return palette.at(indices.at(static_cast<std::size_t>(y * width + x))); }
};

struct DecodedGif {
    bool ok = false;
    std::string error;
    int screenWidth = 0, screenHeight = 0;
    bool hasGlobalTable = false;
    int loopCount = -1;  // -1: no looping extension
    std::vector<DecodedFrame> frames;
};

// Decodes every frame with giflib.
DecodedGif DecodeWithGiflib(const std::string& path);

// Structure of one frame's image data as stored.
struct FrameBlocks {
    std::size_t offset = 0;  // of the graphic control extension
    uint8_t minimumCodeSize = 0;
    std::vector<uint8_t> subBlockLengths;
    std::vector<uint8_t> data;  // the sub-blocks' bytes, joined
};

struct GifLayout {
    bool ok = false;
    std::string error;
    std::vector<FrameBlocks> frames;
    bool endsWithTrailer = false;
};

// Walks header, extensions, descriptors and sub-blocks of a file written in
// this library's layout (a 256-entry local table per frame).
GifLayout WalkGifLayout(const std::vector<uint8_t>& file);

// Unpacks a code stream of fixed 9-bit codes, least-significant bit first.
std::vector<uint16_t> UnpackNineBitCodes(const std::vector<uint8_t>& data);

}  // namespace qv::test

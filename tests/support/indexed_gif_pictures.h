// 8-bit pictures for the GIF writer in a flat little-endian file: the
// Windows host (under Wine) and the portable build write the same animated
// GIFs from them. At 8 bits the writer reduces no colours, so the files'
// code streams come from the pixel indices alone. Header-only, so that the
// Windows host program builds it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qv::test {

struct IndexedFrame {
    uint32_t holdFrames = 1;
    std::vector<uint32_t> palette;  // 256 words 0x00RRGGBB
    std::vector<uint8_t> indices;   // top row first, width * height
};

struct IndexedGif {
    uint32_t width = 0, height = 0;
    std::vector<IndexedFrame> frames;
};

inline bool WriteIndexedGifs(const std::string& path, const std::vector<IndexedGif>& gifs)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    auto put = [&](const void* data, size_t bytes) { return bytes == 0 || std::fwrite(data, bytes, 1, file) == 1; };
    const uint32_t count = uint32_t(gifs.size());
    bool ok = put(&count, 4);
    for (const IndexedGif& gif : gifs) {
        const uint32_t frameCount = uint32_t(gif.frames.size());
        ok = ok && put(&gif.width, 4) && put(&gif.height, 4) && put(&frameCount, 4);
        for (const IndexedFrame& frame : gif.frames)
            ok = ok && frame.palette.size() == 256 && frame.indices.size() == size_t(gif.width) * gif.height &&
                 put(&frame.holdFrames, 4) && put(frame.palette.data(), 1024) &&
                 put(frame.indices.data(), frame.indices.size());
    }
    return std::fclose(file) == 0 && ok;
}

inline bool ReadIndexedGifs(const std::string& path, std::vector<IndexedGif>& gifs)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    auto get = [&](void* data, size_t bytes) { return bytes == 0 || std::fread(data, bytes, 1, file) == 1; };
    uint32_t count = 0;
    bool ok = get(&count, 4) && count <= 4096;
    gifs.assign(ok ? count : 0, IndexedGif{});
    for (IndexedGif& gif : gifs) {
        uint32_t frameCount = 0;
        ok = ok && get(&gif.width, 4) && get(&gif.height, 4) && get(&frameCount, 4) && gif.width <= 4096 &&
             gif.height <= 4096 && frameCount <= 64;
        if (!ok) break;
        gif.frames.resize(frameCount);
        for (IndexedFrame& frame : gif.frames) {
            frame.palette.resize(256);
            frame.indices.resize(size_t(gif.width) * gif.height);
            ok = ok && get(&frame.holdFrames, 4) && get(frame.palette.data(), 1024) &&
                 get(frame.indices.data(), frame.indices.size());
        }
    }
    std::fclose(file);
    return ok;
}

}  // namespace qv::test

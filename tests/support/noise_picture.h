// Pixel words that do not repeat, so that no two frames of the write-failure
// cases look or compress alike; the Windows host and the portable test make
// the same ones. Header-only, so that the Windows host program builds it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv::test {

// `count` words 0x00RRGGBB of frame `frame`.
inline std::vector<uint32_t> NoiseWords(uint32_t frame, size_t count)
{
    std::vector<uint32_t> words(count);
    uint32_t x = frame * 2654435761u + 12345u;
    for (uint32_t& word : words) {
        x = x * 1103515245u + 12345u;
        word = (x >> 8) & 0x00FFFFFFu;
    }
    return words;
}

}  // namespace qv::test

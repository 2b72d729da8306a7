// The picture a test host draws as frame `position`: every channel a
// different function of x, y and the position, so that misplaced rows,
// columns or frames show. Shared by the portable tests and the Windows host.
#pragma once

#include <cstdint>

namespace qv::test {

inline uint32_t PatternWord(int32_t x, int32_t y, int32_t position)
{
    const uint32_t red = uint32_t(x * 7 + position * 13) & 0xFFu;
    const uint32_t green = uint32_t(y * 5 + position) & 0xFFu;
    const uint32_t blue = uint32_t(x + y + position * 3) & 0xFFu;
    return red << 16 | green << 8 | blue;
}

}  // namespace qv::test

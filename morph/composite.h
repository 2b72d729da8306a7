// Combining the two samples of a position and writing the result.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

#include "morph/frame.h"
#include "morph/numerics.h"

namespace qv::morph {

// channel * factor, truncated toward zero; only the low 8 bits are kept by the caller.
inline uint32_t ScaleChannel(uint32_t word, int shift, double factor)
{
    return static_cast<uint32_t>(TruncToInt32(static_cast<double>((word >> shift) & 0xFFu) * factor));
}

inline uint32_t Pack(uint32_t red, uint32_t green, uint32_t blue)
{
    return ((red & 0xFFu) << 16) | ((green & 0xFFu) << 8) | (blue & 0xFFu);
}

// Cross-dissolve by t, the destination's share.
inline uint32_t CrossDissolve(uint32_t s, uint32_t d, float t)
{
    const double f = 1.0 - static_cast<double>(t);
    const double dt = t;
    return Pack(ScaleChannel(s, 16, f) + ScaleChannel(d, 16, dt), ScaleChannel(s, 8, f) + ScaleChannel(d, 8, dt),
                ScaleChannel(s, 0, f) + ScaleChannel(d, 0, dt));
}

inline uint32_t Fade(uint32_t word, double factor)
{
    return Pack(ScaleChannel(word, 16, factor), ScaleChannel(word, 8, factor), ScaleChannel(word, 0, factor));
}

inline uint32_t CompositePixel(uint32_t s, uint32_t d, float t, uint16_t flags, uint32_t key)
{
    if (!(flags & MORPH_KEY_COLOR)) return CrossDissolve(s, d, t);
    const bool fade = (flags & MORPH_KEY_FADE) != 0;
    if (s == key) return (fade && d != key) ? Fade(d, static_cast<double>(t)) : d;
    if (d == key) return fade ? Fade(s, 1.0 - static_cast<double>(t)) : s;
    return CrossDissolve(s, d, t);
}

// Stores `word` at the block anchored at (x, y). Nothing is clipped: every
// index wraps modulo the output's pixel count. A block that lies wholly
// inside the picture needs no wrap, and its slots are its plain indices.
inline void WriteBlock(const PictureBuffer& out, int32_t x, int32_t y, const BlockParams& block, uint32_t word)
{
    const int64_t left = int64_t{x} + block.low, right = int64_t{x} + block.high;
    const int64_t top = int64_t{y} + block.low, bottom = int64_t{y} + block.high;
    if (left >= 0 && right < out.width && top >= 0 && bottom < out.height) {
        uint32_t* row = out.pixels + top * out.width + left;
        for (int64_t r = top; r <= bottom; ++r, row += out.width)
            for (int64_t c = 0; c <= right - left; ++c) row[c] = word;
        return;
    }
    if (block.step == 1) {
        out.pixels[WrapSlot(x, y, out.width, out.count)] = word;
        return;
    }
    for (int32_t dy = block.low; dy <= block.high; ++dy)
        for (int32_t dx = block.low; dx <= block.high; ++dx)
            out.pixels[WrapSlot(WrapAdd(x, dx), WrapAdd(y, dy), out.width, out.count)] = word;
}

}  // namespace qv::morph

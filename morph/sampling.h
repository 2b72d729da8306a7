// Sampling a picture at the place an output position maps to.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

#include "morph/frame.h"
#include "morph/numerics.h"
#include "morph/triangle_setup.h"

namespace qv::morph {

// Barycentric weights of an output position for the top, middle and bottom vertex.
struct Weights {
    float w0 = 0.0f, w1 = 0.0f, w2 = 0.0f;
};

// The mapped coordinate: each corner times its weight, summed bottom, middle,
// top in double precision.
inline double MapAxis(int32_t c0, int32_t c1, int32_t c2, const Weights& w)
{
    return (static_cast<double>(c2) * static_cast<double>(w.w2) + static_cast<double>(c1) * static_cast<double>(w.w1)) +
           static_cast<double>(c0) * static_cast<double>(w.w0);
}

// Nearest sampling. The source picture adds half a pixel before truncating;
// the destination picture truncates as it is.
inline uint32_t SampleNearest(const PictureBuffer& pic, double x, double y, bool isSource)
{
    const double offset = isSource ? 0.5 : 0.0;
    const int32_t c = TruncToInt32(x + offset);
    const int32_t r = TruncToInt32(y + offset);
    return pic.pixels[WrapSlot(c, r, pic.width, pic.count)];
}

// Bilinear sampling over the four neighbours, each channel product truncated
// on its own. Any neighbour equal to the key (under MORPH_KEY_COLOR) makes the
// whole sample the key value.
inline uint32_t SampleBilinear(const PictureBuffer& pic, double x, double y, bool keyed, uint32_t key)
{
    const float yf = RoundToFloat(y);
    const int32_t ix = TruncToInt32(x);
    const int32_t iy = TruncToInt32(static_cast<double>(yf));
    const float fx = RoundToFloat(x - static_cast<double>(ix));
    const float fy = RoundToFloat(static_cast<double>(yf) - static_cast<double>(iy));
    const double dfx = fx, dfy = fy;
    const float weight[4] = {
        RoundToFloat((1.0 - dfy) * (1.0 - dfx)),
        RoundToFloat((1.0 - dfy) * dfx),
        RoundToFloat((1.0 - dfx) * dfy),
        RoundToFloat(dfy * dfx),
    };
    const uint32_t i0 = static_cast<uint32_t>(iy) * static_cast<uint32_t>(pic.width) + static_cast<uint32_t>(ix);
    const uint32_t i2 = static_cast<uint32_t>(WrapAdd(iy, 1)) * static_cast<uint32_t>(pic.width) +
                        static_cast<uint32_t>(ix);
    const uint32_t index[4] = {i0, i0 + 1u, i2, i2 + 1u};

    uint32_t blue = 0, green = 0, red = 0;
    bool anyKeyed = false;
    for (int k = 0; k < 4; ++k) {
        const uint32_t word = pic.pixels[ReduceIndex(index[k], pic.count)];
        if (keyed && word == key) {
            anyKeyed = true;
            continue;
        }
        const double w = weight[k];
        blue += static_cast<uint32_t>(TruncToInt32(static_cast<double>(word & 0xFFu) * w));
        green += static_cast<uint32_t>(TruncToInt32(static_cast<double>((word >> 8) & 0xFFu) * w));
        red += static_cast<uint32_t>(TruncToInt32(static_cast<double>((word >> 16) & 0xFFu) * w));
    }
    if (anyKeyed) return key;
    return ((red & 0xFFu) << 16) | ((green & 0xFFu) << 8) | (blue & 0xFFu);
}

// One picture's colour for an output position: the key value when the
// picture is switched off, else a nearest or bilinear sample.
inline uint32_t SamplePicture(const PictureBuffer& pic, const Point corners[3], const Weights& w, uint16_t flags,
                              uint32_t key, Picture which)
{
    const uint16_t enable = which == Picture::Source ? MORPH_USE_SOURCE : MORPH_USE_DEST;
    if (!(flags & enable)) return key;
    const double x = MapAxis(corners[0].x, corners[1].x, corners[2].x, w);
    const double y = MapAxis(corners[0].y, corners[1].y, corners[2].y, w);
    if (flags & MORPH_BILINEAR) return SampleBilinear(pic, x, y, (flags & MORPH_KEY_COLOR) != 0, key);
    return SampleNearest(pic, x, y, which == Picture::Source);
}

}  // namespace qv::morph

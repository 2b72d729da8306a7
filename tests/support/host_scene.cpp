#include "support/host_scene.h"

#include <cstring>
#include <stdexcept>

namespace qv::test {

std::vector<uint32_t> Padded(const std::vector<uint32_t>& words, int32_t w, int32_t h, int32_t extraColumns,
                             int32_t extraRows, uint32_t pad)
{
    const auto wide = static_cast<size_t>(w + extraColumns);
    std::vector<uint32_t> padded(wide * static_cast<size_t>(h + extraRows), pad);
    for (size_t r = 0; r < static_cast<size_t>(h); ++r)
        std::memcpy(&padded[r * wide], &words[r * static_cast<size_t>(w)], static_cast<size_t>(w) * 4);
    return padded;
}

int32_t RenderOnLargerBitmaps(RefScene& sc, int32_t extraColumns, int32_t extraRows, std::vector<uint32_t>& out)
{
    const uint32_t pad = 0x5A5A5A5Au;
    HostPicture src(sc.srcW + extraColumns, sc.srcH + extraRows), dst(sc.dstW + extraColumns, sc.dstH + extraRows),
        outPic(sc.outW + extraColumns, sc.outH + extraRows);
    src.SetWords(Padded(sc.src, sc.srcW, sc.srcH, extraColumns, extraRows, pad));
    dst.SetWords(Padded(sc.dst, sc.dstW, sc.dstH, extraColumns, extraRows, pad));
    outPic.SetWords(Padded(std::vector<uint32_t>(static_cast<size_t>(sc.outW) * static_cast<size_t>(sc.outH), 0),
                           sc.outW, sc.outH, extraColumns, extraRows, pad));
    SetVars(&sc.background, &sc.lastTriangle, &sc.flags, &sc.blockSize);
    const int32_t result =
        DrawMorph(src.dc(), dst.dc(), outPic.dc(), src.bitmap(), dst.bitmap(), outPic.bitmap(), sc.frameX.data() + 3,
                  sc.frameY.data() + 3, sc.weights.data() + 3, sc.controlPoints.data(),
                  reinterpret_cast<MorphTriangle*>(sc.triangles.data()), sc.srcW, sc.srcH, sc.dstW, sc.dstH, sc.outW,
                  sc.outH, sc.frameIndex, sc.frameCount);
    out = outPic.Words();
    return result;
}

int32_t RenderThroughLibrary(RefScene& sc, std::vector<uint32_t>& out) { return RenderOnLargerBitmaps(sc, 0, 0, out); }

RefScene RandomScene(std::mt19937& rng)
{
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    RefScene sc;
    sc.srcW = static_cast<int16_t>(uniform(1, 40));
    sc.srcH = static_cast<int16_t>(uniform(1, 40));
    sc.dstW = static_cast<int16_t>(uniform(1, 40));
    sc.dstH = static_cast<int16_t>(uniform(1, 40));
    sc.outW = static_cast<int16_t>(uniform(1, 48));
    sc.outH = static_cast<int16_t>(uniform(1, 48));
    // A few colours, so that key comparisons hit; the top byte varies too.
    const uint32_t palette[6] = {0x00000000u, 0x00FFFFFFu, 0x00102030u, 0x44332211u, 0x0080FF00u, 0xFF0000FFu};
    auto colour = [&] { return uniform(0, 3) == 0 ? palette[uniform(0, 5)] : static_cast<uint32_t>(rng()); };
    sc.src.resize(static_cast<size_t>(sc.srcW * sc.srcH));
    sc.dst.resize(static_cast<size_t>(sc.dstW * sc.dstH));
    for (auto& p : sc.src) p = colour();
    for (auto& p : sc.dst) p = colour();
    sc.background = uniform(0, 1) ? 0x44332211u : palette[uniform(0, 5)];

    const int points = uniform(0, 6);
    const int vertices = points + 4;
    sc.frameX.resize(static_cast<size_t>(vertices));
    sc.frameY.resize(static_cast<size_t>(vertices));
    sc.weights.resize(static_cast<size_t>(vertices));
    for (int v = 0; v < vertices; ++v) {
        sc.frameX[static_cast<size_t>(v)] = static_cast<int16_t>(uniform(-12, sc.outW + 12));
        sc.frameY[static_cast<size_t>(v)] = static_cast<int16_t>(uniform(-12, sc.outH + 12));
        sc.weights[static_cast<size_t>(v)] = static_cast<float>(uniform(-20, 120)) / 100.0f;
    }
    sc.controlPoints.resize(static_cast<size_t>(4 * points + 2));
    for (auto& c : sc.controlPoints) c = static_cast<int16_t>(uniform(-6, 44));

    const int triangles = uniform(0, 12);
    for (int t = 0; t < triangles; ++t) {
        int16_t a, b, c;
        do {
            a = static_cast<int16_t>(uniform(-3, points));
            b = static_cast<int16_t>(uniform(-3, points));
            c = static_cast<int16_t>(uniform(-3, points));
        } while (a == b || b == c || a == c);
        sc.triangles.push_back({{a, b, c}});
    }
    sc.lastTriangle = static_cast<int16_t>(triangles - 1);
    const uint16_t bits[] = {MORPH_WEIGHT_SMOOTH, MORPH_WEIGHT_FLAT, MORPH_USE_SOURCE, MORPH_USE_DEST,
                             MORPH_BILINEAR,      MORPH_KEY_COLOR,   MORPH_KEY_FADE,   MORPH_SKIP_CORNERS};
    for (uint16_t bit : bits)
        if (uniform(0, 2)) sc.flags = static_cast<uint16_t>(sc.flags | bit);
    if (uniform(0, 4)) sc.flags = static_cast<uint16_t>(sc.flags | MORPH_USE_SOURCE);
    const int16_t blocks[] = {-2, 0, 1, 1, 1, 2, 3, 4, 5};
    sc.blockSize = blocks[uniform(0, 8)];
    sc.frameCount = static_cast<int16_t>(uniform(0, 30));
    sc.frameIndex = static_cast<int16_t>(uniform(-2, 32));
    return sc;
}

}  // namespace qv::test

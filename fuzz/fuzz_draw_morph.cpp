// DrawMorph on arbitrary scenes: sizes, depths, settings, block sizes,
// weights (NaN and infinities included, as raw bits) and meshes whose vertex
// identifiers stay within the arrays allocated here. Vertex positions are
// kept within a few hundred pixels, and the sizes below 300, so that one
// input costs little; the control points take any 16-bit value.
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <cstdlib>
#include <vector>

#include "fuzz_input.h"

namespace {

struct Picture {
    Picture(int32_t w, int32_t h, int32_t depth) : bitmap(CreateHostBitmap(w, h, depth)), dc(CreateHostDC(bitmap)) {}
    ~Picture()
    {
        DeleteHostDC(dc);
        DeleteHostBitmap(bitmap);
    }
    HostBitmap* bitmap;
    HostDC* dc;
};

const int32_t kDepths[] = {1, 4, 8, 16, 24, 32};

}  // namespace

QV_FUZZ_TARGET(FuzzDrawMorph)
{
    qvfuzz::Input in(data, size);
    // Picture sizes as the host passes them (any 16-bit value), and the
    // bitmaps behind them (1 to 48 pixels a side).
    // Slots keep any upper half; the low half is kept below 300 when
    // positive, so that no input asks for gigabytes of pixels.
    int32_t sizes[6];
    for (int32_t& s : sizes) {
        const uint8_t kind = in.byte();
        s = kind < 240 ? 1 + kind % 48 : in.i32();
        const int16_t low = static_cast<int16_t>(static_cast<uint16_t>(s));
        if (low > 300)
            s = static_cast<int32_t>((static_cast<uint32_t>(s) & 0xFFFF0000u) | static_cast<uint32_t>(low % 300));
    }
    Picture src(in.range(1, 48), in.range(1, 48), kDepths[in.byte() % 6]);
    Picture dst(in.range(1, 48), in.range(1, 48), kDepths[in.byte() % 6]);
    Picture out(in.range(1, 48), in.range(1, 48), kDepths[in.byte() % 6]);
    if (GetHostBitmapBits(src.bitmap) != nullptr) {
        uint8_t* p = GetHostBitmapBits(src.bitmap);
        const size_t n = static_cast<size_t>(GetHostBitmapStride(src.bitmap)) * GetHostBitmapHeight(src.bitmap);
        for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(i * 37 + in.byte());
    }

    uint32_t background = in.u32();
    uint16_t flags = in.u16();
    int16_t block = static_cast<int16_t>(in.byte() < 250 ? in.range(-3, 12) : in.i16());
    const int points = in.byte() % 24;
    const int triangles = in.byte() % 40;
    int16_t last = static_cast<int16_t>(triangles - 1);
    if (in.byte() == 0xFF) last = -1;
    const int32_t frameIndex = in.i16(), frameCount = in.i16();

    std::vector<int16_t> x(points + 4), y(points + 4), cp(4 * points + 4);
    std::vector<float> w(points + 4);
    for (int i = 0; i < points + 4; ++i) {
        x[i] = static_cast<int16_t>(in.range(-120, 360));
        y[i] = static_cast<int16_t>(in.range(-120, 360));
        w[i] = in.byte() < 200 ? static_cast<float>(in.byte()) / 128.0f - 0.5f : in.f32();
    }
    for (int16_t& c : cp) c = in.byte() < 220 ? static_cast<int16_t>(in.range(-60, 180)) : in.i16();
    std::vector<MorphTriangle> mesh(triangles + 1);
    for (MorphTriangle& t : mesh)
        for (int16_t& v : t.v) v = static_cast<int16_t>(static_cast<int>(in.byte() % (points + 4)) - 3);

    const bool bound = in.byte() != 0x5A;
    SetVars(bound ? &background : nullptr, in.byte() == 1 ? nullptr : &last, &flags, &block);
    const int32_t result = DrawMorph(src.dc, dst.dc, out.dc, src.bitmap, dst.bitmap, out.bitmap, x.data() + 3,
                                     y.data() + 3, w.data() + 3, cp.data(), mesh.data(), sizes[0], sizes[1],
                                     sizes[2], sizes[3], sizes[4], sizes[5], frameIndex, frameCount);
    SetVars(nullptr, nullptr, nullptr, nullptr);
    if (result != MORPH_OK && result != MORPH_NO_MEMORY && result != MORPH_BAD_SIZE && result != MORPH_NOT_BOUND)
        std::abort();
    if (!bound && result != MORPH_NOT_BOUND) std::abort();
    return 0;
}

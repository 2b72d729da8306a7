// The GIF writer and the still export on arbitrary pictures: sizes, depths,
// palettes and pixels from the input, writer sizes and depths as the host
// passes them (any 32-bit value), several frames, then a still in a format
// and with save flags from the input.
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz_input.h"

namespace {

const int32_t kDepths[] = {1, 4, 8, 16, 24, 32};

std::string Path(const char* suffix) { return "/tmp/quorvane-fuzz-" + std::to_string(getpid()) + suffix; }

// A size as a host might pass it: small, negative, or past 16 bits (then
// just past 65535, so that the pictures made stay small).
int32_t HostValue(qvfuzz::Input& in, int32_t low, uint32_t span)
{
    if (in.byte() < 240) return in.range(low, span);
    const int32_t v = in.i32();
    return v > 300 ? 65536 + v % 300 : v;
}

// Still pictures are allocated at the size given: keep it small.
int32_t StillSize(qvfuzz::Input& in)
{
    const int32_t v = HostValue(in, -1, 48);
    return v > 300 ? v % 300 : v;
}

}  // namespace

QV_FUZZ_TARGET(FuzzGifStill)
{
    qvfuzz::Input in(data, size);
    const int32_t pw = in.range(1, 40), ph = in.range(1, 40);
    HostBitmap* bitmap = CreateHostBitmap(pw, ph, kDepths[in.byte() % 6]);
    if (bitmap == nullptr) return 0;
    HostDC* dc = CreateHostDC(bitmap);
    if (uint32_t* palette = GetHostBitmapPalette(bitmap)) {
        const int entries = 1 << GetHostBitmapDepth(bitmap);
        for (int i = 0; i < entries && in.byte() != 0; ++i) palette[i] = in.u32();
    }
    uint8_t* bits = GetHostBitmapBits(bitmap);
    const size_t bytes = static_cast<size_t>(GetHostBitmapStride(bitmap)) * static_cast<size_t>(ph);
    for (size_t i = 0; i < bytes; ++i) bits[i] = in.byte();

    const std::string gif = Path(".gif");
    GifWriter* writer = nullptr;
    // One side past 16 bits at a time: two would ask for gigabytes, which
    // the writer rightly tries to allocate.
    const int32_t gifWidth = HostValue(in, -2, 48);
    int32_t gifHeight = HostValue(in, -2, 48);
    if (gifWidth > 0xFFFF && gifHeight > 300) gifHeight %= 300;
    const int32_t start = RenderAnimatedGIFStart(gif.c_str(), gifWidth, gifHeight,
                                                 in.byte() < 200 ? kDepths[in.byte() % 6] : in.i32(), in.i32(),
                                                 in.i32(), &writer);
    if (start < 0 || start > 4) std::abort();
    if (start != 1 && writer == nullptr) std::abort();
    const int frames = in.byte() % 4;
    for (int i = 0; i < frames; ++i) {
        const int32_t result = RenderAnimatedGIF(dc, bitmap, in.i32(), writer);
        if (result < 0 || result > 4) std::abort();
        bits[in.u16() % bytes] ^= in.byte();
    }
    RenderAnimatedGIFEnd(writer);

    const std::string still = Path(".still");
    const uint8_t formatKind = in.byte();
    const int32_t format = formatKind < 80 ? 4 : formatKind < 160 ? 5 : formatKind < 240 ? 13 : in.i32();
    const int32_t flags = in.byte() < 128 ? 0 : in.i32();
    const int32_t saved = SaveToFreeImage(dc, bitmap, StillSize(in), StillSize(in),
                                          in.byte() < 200 ? kDepths[in.byte() % 6] : in.range(0, 65), still.c_str(),
                                          format, flags);
    if (saved != 0 && saved != 1) std::abort();
    DeleteHostDC(dc);
    DeleteHostBitmap(bitmap);
    return 0;
}

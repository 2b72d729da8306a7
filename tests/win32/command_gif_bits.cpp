// The GIF writer's bit packing on Windows: the accumulator built from the
// library's own source by the Windows compiler, replaying a run of
// operations; and 8-bit pictures through the DLL's GIF exports, whose code
// streams the accumulator packs without any colour reduction in between.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "call_with_slots.h"
#include "commands.h"
#include "library_binding.h"
#include "support/bit_accumulator_run.h"
#include "support/indexed_gif_pictures.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }

// A top-down 8-bit DIB section with the frame's colour table, in its own
// memory device context.
struct IndexedCanvas {
    IndexedCanvas(uint32_t width, uint32_t height, const qv::test::IndexedFrame& frame)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[256];
        } info;
        std::memset(&info, 0, sizeof(info));
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        info.header.biWidth = LONG(width);
        info.header.biHeight = -LONG(height);
        info.header.biPlanes = 1;
        info.header.biBitCount = 8;
        info.header.biCompression = BI_RGB;
        std::memcpy(info.colors, frame.palette.data(), sizeof(info.colors));  // RGBQUAD's bytes, little-endian
        void* bits = nullptr;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
        dc = CreateCompatibleDC(nullptr);
        if (bitmap == nullptr || dc == nullptr) return;
        previous = SelectObject(dc, bitmap);
        const size_t stride = (width + 3) / 4 * 4;
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(static_cast<uint8_t*>(bits) + y * stride, frame.indices.data() + size_t(y) * width, width);
        GdiFlush();
    }
    ~IndexedCanvas()
    {
        if (dc != nullptr) {
            if (previous != nullptr) SelectObject(dc, previous);
            DeleteDC(dc);
        }
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
    IndexedCanvas(const IndexedCanvas&) = delete;
    IndexedCanvas& operator=(const IndexedCanvas&) = delete;

    HBITMAP bitmap = nullptr;
    HDC dc = nullptr;
    HGDIOBJ previous = nullptr;
};

}  // namespace

int RunBitAccumulator(const char* operationsPath, const char* statesPath)
{
    std::vector<qv::test::BitStep> steps;
    if (!qv::test::ReadItems(operationsPath, steps)) {
        std::fprintf(stderr, "cannot read %s\n", operationsPath);
        return 1;
    }
    qv::gif::BitAccumulator accumulator;
    std::vector<qv::test::BitState> states;
    states.reserve(steps.size());
    for (const qv::test::BitStep& step : steps) states.push_back(qv::test::ApplyBitStep(accumulator, step));
    if (!qv::test::WriteItems(statesPath, states)) return 1;
    std::printf("steps=%u\n", unsigned(states.size()));
    return 0;
}

int RunIndexedGifs(const char* dll, const char* picturesPath, const char* directory)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    std::vector<qv::test::IndexedGif> gifs;
    if (!qv::test::ReadIndexedGifs(picturesPath, gifs)) return 1;
    int32_t failures = 0;
    for (size_t n = 0; n < gifs.size(); ++n) {
        const qv::test::IndexedGif& gif = gifs[n];
        const std::string path = std::string(directory) + "\\indexed-" + std::to_string(n) + ".gif";
        uint32_t writer = 0;
        const uint32_t start[7] = {Slot(path.c_str()), gif.width, gif.height, 8, 2500, 0, Slot(&writer)};
        if (CallWithSlots(library.Address(Export::GifStart), start, 7).result != 0) ++failures;
        for (const qv::test::IndexedFrame& frame : gif.frames) {
            IndexedCanvas canvas(gif.width, gif.height, frame);
            const uint32_t slots[4] = {Slot(canvas.dc), Slot(canvas.bitmap), frame.holdFrames, writer};
            if (canvas.bitmap == nullptr || CallWithSlots(library.Address(Export::Gif), slots, 4).result != 0)
                ++failures;
        }
        CallWithSlots(library.Address(Export::GifEnd), &writer, 1);
    }
    std::printf("gifs=%u failures=%d\n", unsigned(gifs.size()), failures);
    return 0;
}

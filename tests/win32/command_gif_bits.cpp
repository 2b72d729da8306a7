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
#include "dib_canvas.h"
#include "library_binding.h"
#include "support/bit_accumulator_run.h"
#include "support/indexed_gif_pictures.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }

// A top-down 8-bit DIB section holding the frame's indices under its colour
// table (RGBQUAD's bytes, little-endian, as the palette words are stored).
void DrawIndexedFrame(const DibSection& canvas, uint32_t width, uint32_t height, const qv::test::IndexedFrame& frame)
{
    if (canvas.bits() == nullptr) return;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(canvas.bits() + y * canvas.stride(), frame.indices.data() + size_t(y) * width, width);
    GdiFlush();
}

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
            const DibSection canvas(int32_t(gif.width), int32_t(gif.height), 8,
                                    reinterpret_cast<const RGBQUAD*>(frame.palette.data()));
            DrawIndexedFrame(canvas, gif.width, gif.height, frame);
            const uint32_t slots[4] = {Slot(canvas.dc()), Slot(canvas.bitmap()), frame.holdFrames, writer};
            if (!canvas.ok() || CallWithSlots(library.Address(Export::Gif), slots, 4).result != 0)
                ++failures;
        }
        CallWithSlots(library.Address(Export::GifEnd), &writer, 1);
    }
    std::printf("gifs=%u failures=%d\n", unsigned(gifs.size()), failures);
    return 0;
}

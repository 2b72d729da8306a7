// The GIF writer and the still saver with a FreeImage.dll on the search path,
// on DIB sections of 8, 16, 24 and 32 bits (tests/support/export_pattern.h),
// written where the portable build's files can be compared with them.
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
#include "support/export_pattern.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }

// The export pattern's palette: RGBQUAD's bytes, little-endian.
std::vector<RGBQUAD> ExportPalette()
{
    std::vector<RGBQUAD> colours(256);
    for (int32_t i = 0; i < 256; ++i) {
        const uint32_t word = qv::test::ExportPaletteWord(i);
        std::memcpy(&colours[size_t(i)], &word, sizeof word);
    }
    return colours;
}

void FillCanvas(const DibSection& canvas, int32_t depth, int32_t frame)
{
    GdiFlush();
    qv::test::FillExportPicture(canvas.bits(), int32_t(canvas.stride()), depth, frame);
}

}  // namespace

int RunDllDirectory(const char* directory)
{
    std::printf("set=%d\n", SetDllDirectoryA(directory) ? 1 : 0);
    return 0;
}

int RunImageExports(const char* dll, const char* directory)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    const std::vector<RGBQUAD> palette = ExportPalette();
    for (int32_t depth : qv::test::kExportDepths) {
        const DibSection canvas(qv::test::kExportWidth, qv::test::kExportHeight, depth, palette.data());
        if (!canvas.ok() || canvas.bits() == nullptr) return 1;
        const std::string stem = std::string(directory) + "\\windows-" + std::to_string(depth);

        const std::string gif = stem + ".gif";
        uint32_t writer = 0;
        const uint32_t start[7] = {Slot(gif.c_str()), uint32_t(qv::test::kExportWidth), uint32_t(qv::test::kExportHeight),
                                   uint32_t(depth), 2500, 0, Slot(&writer)};
        std::printf("depth%d gif-start=%d", depth,
                    int32_t(CallWithSlots(library.Address(Export::GifStart), start, 7).result));
        for (int32_t frame = 0; frame < 2; ++frame) {
            FillCanvas(canvas, depth, frame);
            const uint32_t slots[4] = {Slot(canvas.dc()), Slot(canvas.bitmap()), uint32_t(frame + 1), writer};
            std::printf(" frame%d=%d", frame, int32_t(CallWithSlots(library.Address(Export::Gif), slots, 4).result));
        }
        CallWithSlots(library.Address(Export::GifEnd), &writer, 1);

        FillCanvas(canvas, depth, 0);
        const struct {
            const char* extension;
            uint32_t format;
        } stills[] = {{"png", 13}, {"tif", 5}, {"jpg", 4}};
        for (const auto& still : stills) {
            const std::string path = stem + "." + still.extension;
            const uint32_t slots[8] = {Slot(canvas.dc()), Slot(canvas.bitmap()), uint32_t(qv::test::kExportWidth),
                                       uint32_t(qv::test::kExportHeight), uint32_t(depth), Slot(path.c_str()),
                                       still.format, 0};
            std::printf(" %s=%d", still.extension,
                        int32_t(CallWithSlots(library.Address(Export::SaveStill), slots, 8).result));
        }
        std::printf("\n");
    }
    return 0;
}

// Every export bound by its decorated name and called once with arguments
// that it refuses early (null pointers, no settings), to see the bytes each
// removes from the stack and its refusal code.
#include <cstdint>
#include <cstdio>
#include <string>

#include "call_with_slots.h"
#include "commands.h"
#include "dib_canvas.h"
#include "library_binding.h"

int RunExports(const char* dll)
{
    Library library(dll);
    std::printf("loaded=%d\n", library.loaded() ? 1 : 0);
    if (!library.loaded()) return 1;
    // Loading ran the process-attach call; the thread calls must succeed too.
    std::printf("thread-attach=%d thread-detach=%d\n", library.CallEntryPoint(DLL_THREAD_ATTACH),
                library.CallEntryPoint(DLL_THREAD_DETACH));
    const uint32_t zeros[19] = {};
    for (int i = 0; i < int(Export::Count); ++i) {
        const ExportName& name = NameOf(Export(i));
        const void* address = library.Address(Export(i));
        if (address == nullptr) {
            std::printf("%s bound=0\n", name.decorated);
            continue;
        }
        const SlotCall call = CallWithSlots(address, zeros, name.argumentBytes / 4);
        std::printf("%s bound=1 removed=%u result=%d\n", name.decorated, call.bytesRemoved, int32_t(call.result));
    }
    return 0;
}

int RunImageCalls(const char* dll, const char* directory)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    const std::string gifPath = std::string(directory) + "\\frames.gif";
    const std::string stillPath = std::string(directory) + "\\still.png";

    uint32_t writer = 0xDEADBEEFu;
    const uint32_t start[7] = {uint32_t(uintptr_t(gifPath.c_str())), 8, 8, 24, 2500, 0, uint32_t(uintptr_t(&writer))};
    const SlotCall started = CallWithSlots(library.Address(Export::GifStart), start, 7);
    std::printf("gif-start=%d handle-stored=%d\n", int32_t(started.result), writer != 0xDEADBEEFu ? 1 : 0);
    DibCanvas canvas(8, 8);
    const uint32_t frame[4] = {uint32_t(uintptr_t(canvas.dc())), uint32_t(uintptr_t(canvas.bitmap())), 1, writer};
    std::printf("gif-frame=%d\n", int32_t(CallWithSlots(library.Address(Export::Gif), frame, 4).result));
    CallWithSlots(library.Address(Export::GifEnd), &writer, 1);

    const uint32_t still[8] = {uint32_t(uintptr_t(canvas.dc())), uint32_t(uintptr_t(canvas.bitmap())), 8, 8, 24,
                               uint32_t(uintptr_t(stillPath.c_str())), 13, 0};
    std::printf("still=%d\n", int32_t(CallWithSlots(library.Address(Export::SaveStill), still, 8).result));
    return 0;
}

// Outputs that cannot be written, through the GIF writer, the still saver and
// the AVI writer: a folder that does not exist, names that cannot be opened
// for writing (an existing folder, a character Windows refuses, a drive
// mounted read-only) and, on a drive mapped to a small filesystem that the
// test filled, a full disk and one that fills up partway. Each case prints its codes; the
// test compares them with the documented ones and looks at the files.
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
#include "own_dialog.h"
#include "support/noise_picture.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }

void Paint(DibCanvas& canvas, int32_t width, int32_t height, uint32_t frame)
{
    canvas.SetWords(qv::test::NoiseWords(frame, size_t(width) * size_t(height)));
}

// GIF: start, `frames` frames of a 24-bit picture, end. Prints
// "gif-start=S stored=H frame0=.. frameN=..".
void GifCase(const Library& library, const char* label, const std::string& path, int32_t width, int32_t height,
             int32_t frames)
{
    DibCanvas canvas(width, height);
    uint32_t writer = 0;
    const uint32_t start[7] = {Slot(path.c_str()), uint32_t(width), uint32_t(height), 24, 2500, 0, Slot(&writer)};
    const int32_t started = int32_t(CallWithSlots(library.Address(Export::GifStart), start, 7).result);
    std::printf("%s gif-start=%d stored=%d", label, started, writer != 0 ? 1 : 0);
    for (int32_t frame = 0; frame < frames; ++frame) {
        Paint(canvas, width, height, uint32_t(frame));
        const uint32_t slots[4] = {Slot(canvas.dc()), Slot(canvas.bitmap()), 1, writer};
        std::printf(" frame%d=%d", frame, int32_t(CallWithSlots(library.Address(Export::Gif), slots, 4).result));
    }
    if (writer != 0) CallWithSlots(library.Address(Export::GifEnd), &writer, 1);
    std::printf(" ended=1\n");
}

// SaveToFreeImage in PNG, TIFF and JPEG to `stem` plus the extension (or to
// `stem` itself when `sameName`). Prints "png=R tif=R jpg=R".
void StillCase(const Library& library, const char* label, const std::string& stem, bool sameName, int32_t flags)
{
    const int32_t width = 64, height = 64;
    DibCanvas canvas(width, height);
    Paint(canvas, width, height, 7);
    std::printf("%s", label);
    const struct {
        const char* extension;
        uint32_t format;
    } stills[] = {{"png", 13}, {"tif", 5}, {"jpg", 4}};
    for (const auto& still : stills) {
        const std::string path = sameName ? stem : stem + "." + still.extension;
        const uint32_t slots[8] = {Slot(canvas.dc()), Slot(canvas.bitmap()), uint32_t(width), uint32_t(height), 24,
                                   Slot(path.c_str()), still.format, uint32_t(flags)};
        std::printf(" %s=%d", still.extension,
                    int32_t(CallWithSlots(library.Address(Export::SaveStill), slots, 8).result));
    }
    std::printf("\n");
}

struct DialogWatch {
    volatile LONG done;
    int pressed;
};

// Confirms the compression dialog (full frames) if it appears, and stops
// looking as soon as the Start call has returned: a Start that fails on the
// file never shows it.
DWORD WINAPI ConfirmDialog(void* parameter)
{
    auto* watch = static_cast<DialogWatch*>(parameter);
    for (int attempt = 0; attempt < 600 && watch->done == 0 && watch->pressed == 0; ++attempt) {
        if (HWND dialog = FindOwnDialog(); dialog != nullptr) {
            PressDialogButton(dialog, IDOK);
            watch->pressed = 1;
        }
        Sleep(50);
    }
    return 0;
}

// AVI: start (confirming the dialog), `frames` 32 x 32 frames at 24 bits,
// end. Prints "avi-start=S dialog=D frame0=.. ended=1".
void AviCase(const Library& library, const char* label, const std::string& path, int32_t frames)
{
    const int32_t width = 32, height = 32;
    DialogWatch watch{0, 0};
    HANDLE watcher = CreateThread(nullptr, 0, ConfirmDialog, &watch, 0, nullptr);
    uint32_t writer = 0;
    const uint32_t start[8] = {0, Slot(path.c_str()), uint32_t(width), uint32_t(height), 24, 2500, uint32_t(frames),
                               Slot(&writer)};
    const int32_t started = int32_t(CallWithSlots(library.Address(Export::CompressedStart), start, 8).result);
    InterlockedExchange(&watch.done, 1);
    if (watcher != nullptr) {
        WaitForSingleObject(watcher, 30000);
        CloseHandle(watcher);
    }
    std::printf("%s avi-start=%d dialog=%d", label, started, watch.pressed);
    DibCanvas canvas(width, height);
    for (int32_t position = 0; position < frames && started == 0; ++position) {
        Paint(canvas, width, height, uint32_t(position));
        const uint32_t slots[4] = {Slot(canvas.dc()), Slot(canvas.bitmap()), uint32_t(position), writer};
        std::printf(" frame%d=%d", position,
                    int32_t(CallWithSlots(library.Address(Export::Compressed), slots, 4).result));
    }
    if (writer != 0) CallWithSlots(library.Address(Export::CompressedEnd), &writer, 1);
    std::printf(" ended=1\n");
}

}  // namespace

int RunUnwritablePaths(const char* dll, const char* directory, const char* readOnlyDirectory)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    const std::string dir(directory);

    const std::string missing = dir + "\\no-such-folder\\picture";
    GifCase(library, "missing-gif", missing + ".gif", 16, 16, 1);
    StillCase(library, "missing-still", missing, false, 0);
    AviCase(library, "missing-avi", missing + ".avi", 1);

    // A name that is an existing folder.
    const std::string folder = dir + "\\a-folder";
    CreateDirectoryA(folder.c_str(), nullptr);
    GifCase(library, "folder-gif", folder, 16, 16, 1);
    StillCase(library, "folder-still", folder, true, 0);
    AviCase(library, "folder-avi", folder, 1);

    // '|' is not allowed in Windows file names.
    const std::string refused = dir + "\\bad|name";
    GifCase(library, "refused-gif", refused + ".gif", 16, 16, 1);
    StillCase(library, "refused-still", refused, false, 0);
    AviCase(library, "refused-avi", refused + ".avi", 1);

    // A drive mounted read-only (the test's own; a read-only file would not
    // do, since Wine running as root opens it for writing all the same).
    if (readOnlyDirectory != nullptr) {
        const std::string locked = std::string(readOnlyDirectory) + "\\picture";
        GifCase(library, "read-only-gif", locked + ".gif", 16, 16, 1);
        StillCase(library, "read-only-still", locked, false, 0);
        AviCase(library, "read-only-avi", locked + ".avi", 1);
    }
    return 0;
}

int RunFullDisk(const char* dll, const char* directory)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    const std::string dir(directory);

    // Not a byte free.
    GifCase(library, "full-gif", dir + "\\full.gif", 16, 16, 3);
    StillCase(library, "full-still", dir + "\\full", false, 0);
    AviCase(library, "full-avi", dir + "\\full.avi", 3);

    // Each reserve file holds the room for one case that fills up partway.
    auto release = [&](const char* name) {
        std::printf("released-%s=%d\n", name, DeleteFileA((dir + "\\reserve-" + name + ".bin").c_str()) ? 1 : 0);
    };
    release("gif");
    GifCase(library, "partway-gif", dir + "\\partway.gif", 40, 30, 6);
    release("avi");
    AviCase(library, "partway-avi", dir + "\\partway.avi", 12);
    release("still");
    // Uncompressed TIFF (TIFF_NONE), 12 KiB of pixels: more than the room.
    StillCase(library, "partway-still", dir + "\\partway", false, 0x0800);
    return 0;
}

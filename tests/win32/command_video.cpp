// The video calls as a Windows host makes them: GetAVIinfo and GetAVIframe on
// files from elsewhere, and the AVI writer with its compression dialog, which
// a watcher thread answers like a user.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "call_with_slots.h"
#include "commands.h"
#include "dib_canvas.h"
#include "library_binding.h"
#include "own_dialog.h"
#include "support/frame_pattern.h"
#include "support/scene_file.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }
int32_t Number(const char* text) { return int32_t(std::strtol(text, nullptr, 0)); }

struct DialogAnswer {
    int button;         // IDOK or IDCANCEL
    char title[128];    // the dialog's caption, as found
};

// Waits for this process's dialog to appear and presses the chosen button.
DWORD WINAPI AnswerDialog(void* parameter)
{
    auto* answer = static_cast<DialogAnswer*>(parameter);
    for (int attempt = 0; attempt < 600; ++attempt) {
        if (HWND dialog = FindOwnDialog(); dialog != nullptr) {
            GetWindowTextA(dialog, answer->title, sizeof(answer->title));
            PressDialogButton(dialog, answer->button);
            return 1;
        }
        Sleep(50);
    }
    return 0;
}

}  // namespace

int RunAviInfo(const char* dll, const char* file)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    int32_t width = -7, height = -7, length = -7;
    float rate = -7.0f;
    const uint32_t slots[5] = {Slot(file), Slot(&width), Slot(&height), Slot(&rate), Slot(&length)};
    const SlotCall call = CallWithSlots(library.Address(Export::AviInfo), slots, 5);
    uint32_t rateBits = 0;
    std::memcpy(&rateBits, &rate, sizeof(rateBits));
    std::printf("result=%d width=%d height=%d rate=%08x length=%d\n", int32_t(call.result), width, height, rateBits,
                length);
    return 0;
}

int RunAviFrame(const char* dll, const char* file, const char* position, const char* zoomBits, const char* width,
                const char* height, const char* outPath)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    DibCanvas target(Number(width), Number(height));
    if (!target.ok()) return 1;
    target.Fill(0x00FF00FFu);
    SetStretchBltMode(target.dc(), BLACKONWHITE);
    const uint32_t slots[4] = {Slot(target.dc()), Slot(file), uint32_t(Number(position)),
                               uint32_t(std::strtoul(zoomBits, nullptr, 16))};
    const SlotCall call = CallWithSlots(library.Address(Export::AviFrame), slots, 4);
    qv::test::RenderedScene drawn;
    drawn.result = int32_t(call.result);
    drawn.argumentBytesRemoved = call.bytesRemoved;
    drawn.words = target.Words();
    if (!qv::test::WriteRendered(outPath, {drawn})) return 1;
    std::printf("result=%d mode=%d\n", drawn.result, GetStretchBltMode(target.dc()));
    return 0;
}

int RunAviWrite(const char* dll, const char* file, const char* widthText, const char* heightText,
                const char* depthText, const char* framesText, const char* dialogAnswer)
{
    Library library(dll);
    if (!library.AllBound()) return 1;
    const int32_t width = Number(widthText), height = Number(heightText), frames = Number(framesText);

    DialogAnswer answer{std::strcmp(dialogAnswer, "ok") == 0 ? IDOK : IDCANCEL, {}};
    HANDLE watcher = CreateThread(nullptr, 0, AnswerDialog, &answer, 0, nullptr);
    uint32_t writer = 0;
    const uint32_t start[8] = {0, Slot(file), uint32_t(width), uint32_t(height), uint32_t(Number(depthText)), 2500,
                               uint32_t(frames), Slot(&writer)};
    const SlotCall started = CallWithSlots(library.Address(Export::CompressedStart), start, 8);
    WaitForSingleObject(watcher, 30000);
    DWORD answered = 0;
    GetExitCodeThread(watcher, &answered);
    CloseHandle(watcher);
    std::printf("start=%d dialog-answered=%lu dialog-title=%s\n", int32_t(started.result), answered, answer.title);

    DibCanvas canvas(width, height);
    for (int32_t position = 0; position < frames && started.result == 0; ++position) {
        std::vector<uint32_t> words(size_t(width) * size_t(height));
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) words[size_t(y) * size_t(width) + size_t(x)] = qv::test::PatternWord(x, y, position);
        canvas.SetWords(words);
        const uint32_t slots[4] = {Slot(canvas.dc()), Slot(canvas.bitmap()), uint32_t(position), writer};
        std::printf("frame%d=%d\n", position, int32_t(CallWithSlots(library.Address(Export::Compressed), slots, 4).result));
    }
    CallWithSlots(library.Address(Export::CompressedEnd), &writer, 1);
    std::printf("ended=1\n");
    return 0;
}

// Cost of one animated GIF frame on a 640 x 480 true-colour picture, beside
// the part of it that is FreeImage's NeuQuant quantiser alone. The writer's
// own share is the frame call minus quantisation, or directly the
// "WriterOwnWork" case (picture read, colour table, code stream, file).
#include <benchmark/benchmark.h>
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "gif/gif_file_layout.h"
#include "platform/graphics.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// A picture with smooth gradients and some texture, so that the quantiser
// has a realistic amount of colours to place.
struct Frame {
    HostBitmap* bitmap = CreateHostBitmap(kWidth, kHeight, 24);
    HostDC* dc = CreateHostDC(bitmap);
    Frame()
    {
        uint8_t* bits = GetHostBitmapBits(bitmap);
        const int stride = GetHostBitmapStride(bitmap);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = bits + y * stride + 3 * x;
                p[0] = static_cast<uint8_t>((x * 255) / kWidth);
                p[1] = static_cast<uint8_t>((y * 255) / kHeight);
                p[2] = static_cast<uint8_t>(((x ^ y) & 0x3F) + ((x + y) / 8));
            }
        }
    }
    ~Frame()
    {
        DeleteHostDC(dc);
        DeleteHostBitmap(bitmap);
    }
};

std::string ScratchFile(const char* name) { return "/tmp/qv_bench_" + std::to_string(getpid()) + "_" + name; }

// The exported frame call, appending to a real file (reopened now and then
// outside the timing so the file stays small).
void BM_GifFrameCall(benchmark::State& state)
{
    Frame frame;
    const std::string path = ScratchFile("frames.gif");
    GifWriter* writer = nullptr;
    RenderAnimatedGIFStart(path.c_str(), kWidth, kHeight, 24, 2500, 0, &writer);
    int framesInFile = 0;
    for (auto _ : state) {
        if (RenderAnimatedGIF(frame.dc, frame.bitmap, 1, writer) != 0) state.SkipWithError("frame failed");
        if (++framesInFile == 32) {
            state.PauseTiming();
            RenderAnimatedGIFEnd(writer);
            RenderAnimatedGIFStart(path.c_str(), kWidth, kHeight, 24, 2500, 0, &writer);
            framesInFile = 0;
            state.ResumeTiming();
        }
    }
    RenderAnimatedGIFEnd(writer);
    std::remove(path.c_str());
}
BENCHMARK(BM_GifFrameCall)->Unit(benchmark::kMillisecond);

// FreeImage's quantiser alone on the same picture, as the frame call runs it.
void BM_NeuQuantAlone(benchmark::State& state)
{
    Frame frame;
    FIBITMAP* work = FreeImage_Allocate(kWidth, kHeight, 24, 0, 0, 0);
    qv::gfx::GetDIBits(frame.dc, frame.bitmap, 0, kHeight, FreeImage_GetBits(work), FreeImage_GetInfo(work),
                       qv::gfx::kDibRgbColors);
    for (auto _ : state) {
        FIBITMAP* quantised = FreeImage_ColorQuantize(work, FIQ_NNQUANT);
        benchmark::DoNotOptimize(quantised);
        FreeImage_Unload(quantised);
    }
    FreeImage_Unload(work);
}
BENCHMARK(BM_NeuQuantAlone)->Unit(benchmark::kMillisecond);

// Everything the frame call does besides quantising: read the host picture,
// write the frame prefix, colour table and code stream, flush.
void BM_WriterOwnWork(benchmark::State& state)
{
    Frame frame;
    FIBITMAP* work = FreeImage_Allocate(kWidth, kHeight, 24, 0, 0, 0);
    qv::gfx::GetDIBits(frame.dc, frame.bitmap, 0, kHeight, FreeImage_GetBits(work), FreeImage_GetInfo(work),
                       qv::gfx::kDibRgbColors);
    FIBITMAP* quantised = FreeImage_ColorQuantize(work, FIQ_NNQUANT);
    const std::string path = ScratchFile("own.gif");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    int framesInFile = 0;
    for (auto _ : state) {
        qv::gif::WriteFramePrefix(file, 4, kWidth, kHeight);
        qv::gfx::GetDIBits(frame.dc, frame.bitmap, 0, kHeight, FreeImage_GetBits(work), FreeImage_GetInfo(work),
                           qv::gfx::kDibRgbColors);
        qv::gif::WriteColorTable(file, FreeImage_GetPalette(quantised));
        qv::gif::WriteLiteralCodeStream(file, quantised, kWidth, kHeight);
        std::fflush(file);
        if (++framesInFile == 32) {
            state.PauseTiming();
            std::rewind(file);
            framesInFile = 0;
            state.ResumeTiming();
        }
    }
    std::fclose(file);
    std::remove(path.c_str());
    FreeImage_Unload(quantised);
    FreeImage_Unload(work);
}
BENCHMARK(BM_WriterOwnWork)->Unit(benchmark::kMillisecond);

// The code stream alone, into memory-backed nothing: the accumulator and
// the sub-block framing per pixel.
void BM_CodeStreamOnly(benchmark::State& state)
{
    FIBITMAP* indices = FreeImage_Allocate(kWidth, kHeight, 8, 0, 0, 0);
    for (int y = 0; y < kHeight; ++y) {
        BYTE* line = FreeImage_GetScanLine(indices, y);
        for (int x = 0; x < kWidth; ++x) line[x] = static_cast<BYTE>(x * 7 + y);
    }
    std::FILE* sink = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        qv::gif::WriteLiteralCodeStream(sink, indices, kWidth, kHeight);
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
    std::fclose(sink);
    FreeImage_Unload(indices);
}
BENCHMARK(BM_CodeStreamOnly)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

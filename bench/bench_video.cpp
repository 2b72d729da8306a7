// The AVI writer per frame with the fast compressors, and GetAVIframe on a
// frame in the middle of a file (open, seek, decode, convert, draw).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

namespace {

constexpr int32_t kW = 640, kH = 480;

struct Choice {
    uint32_t fcc;
};
int32_t Choose(void* context, AVICOMPRESSOPTIONS* options)
{
    options->fccHandler = static_cast<Choice*>(context)->fcc;
    options->dwKeyFrameEvery = 25;
    options->dwQuality = 8000;
    return 1;
}

HostBitmap* Picture()
{
    HostBitmap* b = CreateHostBitmap(kW, kH, 24);
    uint8_t* bits = GetHostBitmapBits(b);
    const int32_t stride = GetHostBitmapStride(b);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW * 3; ++x) bits[y * stride + x] = uint8_t((x ^ y) + x / 7);
    return b;
}

std::string TempName()
{
    return "/tmp/qv-bench-" + std::to_string(getpid()) + ".avi";
}

void WriteFrames(benchmark::State& state, uint32_t fcc)
{
    HostBitmap* picture = Picture();
    HostDC* dc = CreateHostDC(picture);
    Choice choice{fcc};
    HostWindow* window = CreateHostWindow(Choose, &choice);
    const std::string path = TempName();
    AviWriter* writer = nullptr;
    if (RenderCompressedStart(window, path.c_str(), kW, kH, 24, 2500, 0, &writer) != 0) {
        state.SkipWithError("compressor not available");
    } else {
        uint32_t position = 0;
        for (auto _ : state) benchmark::DoNotOptimize(RenderCompressed(dc, picture, position++, writer));
    }
    RenderCompressedEnd(writer);
    std::remove(path.c_str());
    DeleteHostWindow(window);
    DeleteHostDC(dc);
    DeleteHostBitmap(picture);
    state.SetItemsProcessed(state.iterations());
}

void BM_WriteUncompressed(benchmark::State& state) { WriteFrames(state, QV_FOURCC('D', 'I', 'B', ' ')); }
void BM_WriteMjpeg(benchmark::State& state) { WriteFrames(state, QV_FOURCC('M', 'J', 'P', 'G')); }
void BM_WriteFfv1(benchmark::State& state) { WriteFrames(state, QV_FOURCC('F', 'F', 'V', '1')); }
void BM_WriteH264(benchmark::State& state) { WriteFrames(state, QV_FOURCC('H', '2', '6', '4')); }
BENCHMARK(BM_WriteUncompressed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteMjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFfv1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteH264)->Unit(benchmark::kMillisecond);

void BM_ReadMiddleFrame(benchmark::State& state)
{
    const uint32_t fcc = state.range(0) == 0 ? QV_FOURCC('D', 'I', 'B', ' ') : QV_FOURCC('H', '2', '6', '4');
    HostBitmap* picture = Picture();
    HostDC* dc = CreateHostDC(picture);
    Choice choice{fcc};
    HostWindow* window = CreateHostWindow(Choose, &choice);
    const std::string path = TempName();
    AviWriter* writer = nullptr;
    RenderCompressedStart(window, path.c_str(), kW, kH, 24, 2500, 50, &writer);
    for (uint32_t i = 0; i < 50; ++i) RenderCompressed(dc, picture, i, writer);
    RenderCompressedEnd(writer);
    for (auto _ : state) benchmark::DoNotOptimize(GetAVIframe(dc, path.c_str(), 37, 1.0f));
    std::remove(path.c_str());
    DeleteHostWindow(window);
    DeleteHostDC(dc);
    DeleteHostBitmap(picture);
}
BENCHMARK(BM_ReadMiddleFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

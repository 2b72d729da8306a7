// Frames per second of FreeImage's NeuQuant quantiser and of the library's
// (each kernel) at 320 x 240, 640 x 480 and 1920 x 1080, and whole
// `quorvane morph` GIF jobs (60 frames at 640 x 480, one and two threads)
// with each quantiser. The sides take turns every round (which goes first
// alternates too) and the median round is reported, so that a slow spell of
// a shared machine weighs on both.
//   bench_quantize [--rounds N] [--job-rounds N] [--no-jobs]
#include <FreeImage.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "quantize/kernel_select.h"
#include "quantize/neuquant.h"

namespace {

using Clock = std::chrono::steady_clock;
using qv::quantize::Kernel;

double Seconds(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A photograph from Debian's python3-skimage scaled to the size, or, without
// it, gradients with texture.
FIBITMAP* TestPicture(int width, int height)
{
    const char* photo = "/usr/lib/python3/dist-packages/skimage/data/coffee.png";
    if (FIBITMAP* loaded = FreeImage_Load(FIF_PNG, photo)) {
        FIBITMAP* wide = FreeImage_ConvertTo24Bits(loaded);
        FreeImage_Unload(loaded);
        FIBITMAP* scaled = FreeImage_Rescale(wide, width, height, FILTER_BILINEAR);
        FreeImage_Unload(wide);
        if (scaled != nullptr) return scaled;
    }
    FIBITMAP* picture = FreeImage_Allocate(width, height, 24);
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(picture, y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<BYTE>(x * 255 / width);
            row[3 * x + 1] = static_cast<BYTE>(y * 255 / height);
            row[3 * x + 2] = static_cast<BYTE>(((x ^ y) & 0x3F) + (x + y) / 8);
        }
    }
    return picture;
}

bool SameResult(FIBITMAP* a, FIBITMAP* b)
{
    if (a == nullptr || b == nullptr) return false;
    if (std::memcmp(FreeImage_GetPalette(a), FreeImage_GetPalette(b), 256 * sizeof(RGBQUAD)) != 0) return false;
    for (unsigned y = 0; y < FreeImage_GetHeight(a); ++y)
        if (std::memcmp(FreeImage_GetScanLine(a, static_cast<int>(y)), FreeImage_GetScanLine(b, static_cast<int>(y)),
                        FreeImage_GetWidth(a)) != 0)
            return false;
    return true;
}

void QuantiserRates(int rounds)
{
    const int sizes[][2] = {{320, 240}, {640, 480}, {1920, 1080}};
    std::vector<Kernel> kernels;
    for (Kernel k : {Kernel::Portable, Kernel::Avx2, Kernel::Avx512})
        if (qv::quantize::KernelAvailable(k)) kernels.push_back(k);
    const Kernel previous = qv::quantize::ActiveKernel();
    std::printf("quantiser, one thread, median of %d rounds (frames per second; ratio to FreeImage's)\n", rounds);
    for (const auto& size : sizes) {
        FIBITMAP* picture = TestPicture(size[0], size[1]);
        FIBITMAP* reference = FreeImage_ColorQuantize(picture, FIQ_NNQUANT);
        std::vector<double> theirs;
        std::vector<std::vector<double>> ours(kernels.size());
        bool same = true;
        const auto timeTheirs = [&] {
            theirs.push_back(Seconds([&] { FreeImage_Unload(FreeImage_ColorQuantize(picture, FIQ_NNQUANT)); }));
        };
        const auto timeOurs = [&] {
            for (size_t k = 0; k < kernels.size(); ++k) {
                qv::quantize::UseKernel(kernels[k]);
                FIBITMAP* result = nullptr;
                ours[k].push_back(Seconds([&] { result = qv::quantize::NeuQuantize(picture); }));
                same = same && SameResult(reference, result);
                FreeImage_Unload(result);
            }
        };
        for (int round = 0; round < rounds; ++round) {
            if (round % 2 == 0) {
                timeTheirs();
                timeOurs();
            } else {
                timeOurs();
                timeTheirs();
            }
        }
        const double base = Median(theirs);
        std::printf("  %4d x %4d  freeimage %7.2f fps (%6.1f ms)", size[0], size[1], 1 / base, base * 1e3);
        for (size_t k = 0; k < kernels.size(); ++k) {
            const double t = Median(ours[k]);
            std::printf(" | %s %7.2f fps (%5.1f ms) %5.2fx", qv::quantize::KernelName(kernels[k]), 1 / t, t * 1e3, base / t);
        }
        std::printf("%s\n", same ? "" : "  RESULTS DIFFER");
        FreeImage_Unload(reference);
        FreeImage_Unload(picture);
    }
    qv::quantize::UseKernel(previous);
}

std::string FileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int Run(const std::string& commandLine)
{
    const int status = std::system(commandLine.c_str());
    if (status != 0) std::fprintf(stderr, "failed (%d): %s\n", status, commandLine.c_str());
    return status;
}

void WholeJobs(int rounds)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("qv_bench_quantize_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string cli = QUORVANE_CLI_PATH;
    const std::string d = dir.string();
    if (Run("'" + cli + "' demo --inputs '" + d + "' > /dev/null") != 0) return;
    std::printf("quorvane morph, 60 frames at 640 x 480 to GIF, median of %d rounds (seconds)\n", rounds);
    for (int threads : {1, 2}) {
        const auto job = [&](const char* quantiser, const char* out) {
            return "QUORVANE_QUANTIZER=" + std::string(quantiser) + " '" + cli + "' morph '" + d + "/demo-from.png' '" + d +
                   "/demo-to.png' --points '" + d + "/demo-points.txt' --size 640x480 --frames 60 --threads " +
                   std::to_string(threads) + " --out '" + d + "/" + out + "' > /dev/null";
        };
        std::vector<double> theirs, ours;
        for (int round = 0; round < rounds; ++round) {
            const auto timeTheirs = [&] { theirs.push_back(Seconds([&] { Run(job("freeimage", "freeimage.gif")); })); };
            const auto timeOurs = [&] { ours.push_back(Seconds([&] { Run(job("own", "own.gif")); })); };
            if (round % 2 == 0) {
                timeTheirs();
                timeOurs();
            } else {
                timeOurs();
                timeTheirs();
            }
        }
        const bool same = FileBytes(dir / "freeimage.gif") == FileBytes(dir / "own.gif");
        std::printf("  %d thread%s  freeimage %6.2f s | own (%s) %6.2f s  %5.2fx  files %s\n", threads, threads == 1 ? " " : "s",
                    Median(theirs), qv::quantize::KernelName(qv::quantize::ActiveKernel()), Median(ours),
                    Median(theirs) / Median(ours), same ? "identical" : "DIFFER");
    }
    std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 7, jobRounds = 3;
    bool jobs = true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--job-rounds") == 0 && i + 1 < argc) jobRounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--no-jobs") == 0) jobs = false;
        else {
            std::fprintf(stderr, "usage: %s [--rounds N] [--job-rounds N] [--no-jobs]\n", argv[0]);
            return 2;
        }
    }
    QuantiserRates(rounds);
    if (jobs) WholeJobs(jobRounds);
    return 0;
}

// DrawMorph against the OpenCV triangle-warp peer, single thread, on the same
// pictures, mesh and output size; and against the memory-bandwidth bound of
// the machine measured in the same run.
//
//   bench_morph [--quick] [--kernel portable|avx2|avx512] [--ours-only] [--size WxH]
//               [--sampling nearest|bilinear] [--block N]
#include <algorithm>
#include <array>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "morph/span_kernel.h"
#include "support/morph_scene.h"
#include "support/peer_opencv.h"

namespace {

// Processor time of this thread: everything here runs on one thread, and
// unlike the wall clock it does not count time spent waiting for the core
// while other processes run.
double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

template <typename F>
double Seconds(F&& f)
{
    const double start = ThreadSeconds();
    f();
    return ThreadSeconds() - start;
}

double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

template <typename F>
double FastestOf(int runs, F&& f)
{
    double fastest = Seconds(f);
    for (int i = 1; i < runs; ++i) fastest = std::min(fastest, Seconds(f));
    return fastest;
}

template <typename F>
double MedianSeconds(int runs, F&& f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(Seconds(f));
    return Median(times);
}

// Bytes read plus bytes written per second by memcpy on buffers far larger than the caches.
double CopyBandwidth()
{
    const size_t bytes = size_t(256) << 20;
    std::vector<char> a(bytes, 1), b(bytes, 2);
    const double s = MedianSeconds(5, [&] { std::memcpy(b.data(), a.data(), bytes); });
    return 2.0 * static_cast<double>(bytes) / s;
}

struct HostPic {
    HostBitmap* bitmap;
    HostDC* dc;
    HostPic(int w, int h, const std::vector<uint32_t>* words) : bitmap(CreateHostBitmap(w, h, 32)), dc(CreateHostDC(bitmap))
    {
        if (words) std::memcpy(GetHostBitmapBits(bitmap), words->data(), words->size() * 4);
    }
    ~HostPic()
    {
        DeleteHostDC(dc);
        DeleteHostBitmap(bitmap);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    bool quick = false, oursOnly = false;
    std::vector<int> samplings{0, 1};
    std::vector<int16_t> blocks{1, 4};
    std::vector<std::array<int, 2>> sizes{{640, 480}, {1920, 1080}};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") quick = true;
        else if (arg == "--ours-only") oursOnly = true;
        else if (arg == "--kernel" && i + 1 < argc) {
            const std::string name = argv[++i];
            bool found = false;
            for (auto k : {qv::morph::Kernel::Portable, qv::morph::Kernel::Avx2, qv::morph::Kernel::Avx512})
                if (name == qv::morph::KernelName(k)) found = qv::morph::UseKernel(k);
            if (!found) {
                std::fprintf(stderr, "kernel %s is not available here\n", name.c_str());
                return 2;
            }
        } else if (arg == "--size" && i + 1 < argc) {
            int w = 0, h = 0;
            if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 2 || h < 2 || w > 32767 || h > 32767) {
                std::fprintf(stderr, "bad size %s\n", argv[i]);
                return 2;
            }
            sizes = {{w, h}};
        } else if (arg == "--sampling" && i + 1 < argc) {
            const std::string name = argv[++i];
            if (name != "nearest" && name != "bilinear") {
                std::fprintf(stderr, "sampling is nearest or bilinear\n");
                return 2;
            }
            samplings = {name == "bilinear" ? 1 : 0};
        } else if (arg == "--block" && i + 1 < argc) {
            const int block = std::atoi(argv[++i]);
            if (block < 1 || block > 64) {
                std::fprintf(stderr, "block size is 1 to 64\n");
                return 2;
            }
            blocks = {static_cast<int16_t>(block)};
        } else {
            std::fprintf(stderr, "usage: bench_morph [--quick] [--kernel portable|avx2|avx512] [--ours-only] [--size WxH]\n"
                                 "                   [--sampling nearest|bilinear] [--block N]\n");
            return 2;
        }
    }
    const int rounds = quick ? 1 : 7;
    constexpr int kBatch = 3;
    cv::setNumThreads(1);
    std::printf("kernel: %s\n", qv::morph::KernelName(qv::morph::ActiveKernel()));
    const double bandwidth = oursOnly ? 0.0 : CopyBandwidth();
    std::printf("copy bandwidth: %.2f GB/s (bytes read + written)\n", bandwidth / 1e9);
    std::printf("times: processor time of this thread per frame, single thread; the median over %d rounds of the\n"
                "       fastest of %d frames in a row, the peer's and ours taking turns\n",
                rounds, kBatch);
    std::printf("bound: the frame's minimal traffic, reading both pictures and writing the output (12 bytes a pixel)\n\n");
    std::printf("%-10s %-9s %5s %6s %12s %12s %8s %10s\n", "size", "sampling", "block", "tris", "ours ms", "peer ms",
                "speedup", "x bound");

    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        qvbench::Scene scene = qvbench::MakeScene(w, h, 16, 10, 0.4f);
        HostPic src(w, h, &scene.src), dst(w, h, &scene.dst), out(w, h, nullptr), peerOut(w, h, nullptr);
        // The peer works on the very same pictures in memory, and on an
        // output of the same kind.
        cv::Mat cvSrc(h, w, CV_8UC4, GetHostBitmapBits(src.bitmap)), cvDst(h, w, CV_8UC4, GetHostBitmapBits(dst.bitmap));
        cv::Mat cvOut(h, w, CV_8UC4, GetHostBitmapBits(peerOut.bitmap));
        for (int bilinear : samplings) {
            // The peer and every block size take turns in short batches of
            // frames, so that a slow spell of the machine weighs on all of them
            // alike; a batch counts its fastest frame, with the pictures in
            // the caches as in a run of frames.
            std::vector<double> peerTimes;
            std::vector<std::vector<double>> ourTimes(blocks.size());
            std::vector<MorphTriangle> triangles = scene.triangles;
            uint32_t background = 0;
            int16_t last = static_cast<int16_t>(scene.triangles.size() - 1);
            uint16_t flags = static_cast<uint16_t>(MORPH_USE_SOURCE | MORPH_USE_DEST | (bilinear ? MORPH_BILINEAR : 0));
            int16_t block = 1;
            SetVars(&background, &last, &flags, &block);
            // A few frames each first: the peer's first frames allocate its working images.
            for (int i = 0; i < kBatch && !oursOnly; ++i) qvbench::PeerMorph(cvSrc, cvDst, scene, 0.4f, bilinear, cvOut);
            DrawMorph(src.dc, dst.dc, out.dc, src.bitmap, dst.bitmap, out.bitmap, scene.frameX.data() + 3,
                      scene.frameY.data() + 3, scene.weights.data() + 3, scene.controlPoints.data(), triangles.data(), w, h,
                      w, h, w, h, 2, 5);
            for (int round = 0; round < rounds; ++round) {
                if (!oursOnly)
                    peerTimes.push_back(FastestOf(kBatch, [&] { qvbench::PeerMorph(cvSrc, cvDst, scene, 0.4f, bilinear, cvOut); }));
                for (size_t b = 0; b < blocks.size(); ++b) {
                    block = blocks[b];
                    ourTimes[b].push_back(FastestOf(kBatch, [&] {
                        DrawMorph(src.dc, dst.dc, out.dc, src.bitmap, dst.bitmap, out.bitmap, scene.frameX.data() + 3,
                                  scene.frameY.data() + 3, scene.weights.data() + 3, scene.controlPoints.data(),
                                  triangles.data(), w, h, w, h, w, h, 2, 5);
                    }));
                }
            }
            const double peer = oursOnly ? 0.0 : Median(peerTimes);
            for (size_t b = 0; b < blocks.size(); ++b) {
                const double ours = Median(ourTimes[b]);
                const double bound = 12.0 * w * h / bandwidth;
                std::printf("%4dx%-5d %-9s %5d %6zu %12.3f %12.3f %7.2fx %9.2fx\n", w, h, bilinear ? "bilinear" : "nearest",
                            blocks[b], scene.triangles.size(), ours * 1e3, peer * 1e3, peer / ours, ours / bound);
            }
        }
    }
    return 0;
}

// The editor's live preview: what the server spends on one preview at
// 640x480 (render plus PNG encoding), at block 1 and 8, nearest and
// bilinear. The four settings take turns in rounds, so that slow spells of
// the machine weigh on all alike; each figure is the median over rounds.
// The render alone is timed too, and block 8 is reported as a ratio of
// block 1 measured in the same rounds. Time is the process's CPU time (the
// render runs on a worker thread), which a busy shared machine disturbs far
// less than the wall clock; the wall-clock medians are printed beside it.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "editor_session.h"
#include "png_encoding.h"

namespace {

void WritePpm(const std::filesystem::path& path, int width, int height, int seed)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const char px[3] = {static_cast<char>(x * 3 + seed), static_cast<char>(y * 2 + (x ^ y)),
                                static_cast<char>(((x / 16 + y / 16) % 2) * 180 + seed)};
            out.write(px, 3);
        }
}

double CpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main()
{
    const auto dir = std::filesystem::temp_directory_path() / "quorvane-bench-preview";
    std::filesystem::create_directories(dir);
    WritePpm(dir / "from.ppm", 640, 480, 10);
    WritePpm(dir / "to.ppm", 640, 480, 90);
    {
        // A face-sized set of points: a 9 x 7 grid, shifted in the destination.
        std::ofstream points(dir / "points.txt");
        for (int gy = 1; gy <= 7; ++gy)
            for (int gx = 1; gx <= 9; ++gx)
                points << gx * 64 << " " << gy * 60 << " " << gx * 64 + (gy % 3) * 7 - 7 << " " << gy * 60 + (gx % 4) * 5 - 6 << "\n";
    }
    qvcli::EditorSetup setup;
    setup.fromName = (dir / "from.ppm").string();
    setup.toName = (dir / "to.ppm").string();
    setup.pointsPath = (dir / "points.txt").string();
    qvcli::KeepPictureMemoryForReuse();  // as quorvane edit does
    qvcli::EditorSession session(setup);

    struct Setting {
        const char* name;
        int block;
        bool bilinear;
        std::vector<double> whole, render, wall;
    };
    std::vector<Setting> settings = {{"block 1, nearest", 1, false, {}, {}, {}},
                                     {"block 8, nearest", 8, false, {}, {}, {}},
                                     {"block 1, bilinear", 1, true, {}, {}, {}},
                                     {"block 8, bilinear", 8, true, {}, {}, {}}};
    using Clock = std::chrono::steady_clock;
    const int rounds = 41, warmUp = 3;
    for (int round = 0; round < rounds + warmUp; ++round) {
        for (Setting& s : settings) {
            qvcli::PreviewRequest request;
            request.frame = 7 + round % 16;
            request.frames = 30;
            request.block = s.block;
            request.bilinear = s.bilinear;
            const auto start = Clock::now();
            const double cpuStart = CpuMs();
            const auto frame = session.RenderPreview(request);
            const double cpuRendered = CpuMs();
            const std::string png = qvcli::EncodePng(*frame, true);
            const double cpuDone = CpuMs();
            const auto done = Clock::now();
            if (png.empty()) return 1;
            if (round < warmUp) continue;
            s.render.push_back(cpuRendered - cpuStart);
            s.whole.push_back(cpuDone - cpuStart);
            s.wall.push_back(std::chrono::duration<double, std::milli>(done - start).count());
        }
    }
    std::printf("preview at 640x480, %d rounds, median CPU ms per preview: render + PNG, render alone; wall ms\n", rounds);
    for (const Setting& s : settings)
        std::printf("  %-18s %7.2f  %7.2f   wall %7.2f\n", s.name, Median(s.whole), Median(s.render), Median(s.wall));
    std::printf("block 8 / block 1, whole preview: nearest %.2f, bilinear %.2f\n",
                Median(settings[1].whole) / Median(settings[0].whole), Median(settings[3].whole) / Median(settings[2].whole));
    std::filesystem::remove_all(dir);
    return 0;
}

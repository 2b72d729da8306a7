// Face landmark time per picture: the face search and the 68-point shape on
// the astronaut portrait at three sizes and on a picture without a face,
// beside the cost of reading the same PNG into a host picture (the baseline,
// timed alternately with it in the same run). Prints medians and the ratio.
//   bench_face_landmarks [rounds]   (default 15)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "face_detector.h"
#include "face_landmarks.h"
#include "picture_loading.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::string kData = "/usr/lib/python3/dist-packages/skimage/data/";

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

struct Case {
    const char* label;
    std::string file;
    int side;  // 0: the picture's own size
};

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    if (!qvcli::FaceLandmarksAvailable()) {
        std::fprintf(stderr, "%s\n", qvcli::FaceLandmarksUnavailableReason().c_str());
        return 1;
    }
    // The first search loads the shape model (about 100 MB): timed on its own.
    {
        const auto picture = qvcli::InputPicture::Open(kData + "astronaut.png", 0);
        const qvcli::HostPicture host = picture.ToHost(picture.size());
        const auto start = Clock::now();
        qvcli::FindLargestFace(host);
        std::printf("first search, with the model load: %.0f ms\n", Milliseconds(Clock::now() - start));
    }
    const std::vector<Case> cases{{"astronaut 512x512", kData + "astronaut.png", 0},
                                  {"astronaut at 1024x1024", kData + "astronaut.png", 1024},
                                  {"astronaut at 2048x2048", kData + "astronaut.png", 2048},
                                  {"coffee 600x400 (no face)", kData + "coffee.png", 0}};
    std::printf("%-28s %12s %12s %8s  (medians of %d rounds)\n", "picture", "landmarks", "PNG read", "ratio",
                rounds);
    for (const Case& c : cases) {
        std::vector<double> marks, reads;
        for (int i = 0; i < rounds; ++i) {
            // Baseline and subject alternate, so load on the machine falls on both.
            auto start = Clock::now();
            const auto picture = qvcli::InputPicture::Open(c.file, 0);
            const qvcli::Size2 size = c.side ? qvcli::Size2{c.side, c.side} : picture.size();
            const qvcli::HostPicture host = picture.ToHost(size);
            reads.push_back(Milliseconds(Clock::now() - start));
            start = Clock::now();
            const qvcli::FaceMarks found = qvcli::FindLargestFace(host);
            marks.push_back(Milliseconds(Clock::now() - start));
            if (found.marks.size() != (c.file.ends_with("coffee.png") ? 0u : 68u)) {
                std::fprintf(stderr, "%s: %zu landmarks\n", c.label, found.marks.size());
                return 1;
            }
        }
        const double m = Median(marks), r = Median(reads);
        std::printf("%-28s %9.1f ms %9.1f ms %7.1fx\n", c.label, m, r, m / r);
    }
    return 0;
}

// The frame pipeline under stress: thousands of runs with many threads on
// tiny frames, consumers and per-frame work that stall or race at random,
// stops and failures at any frame, and every output kind. Frames must
// arrive in order and equal a one-thread render. A watchdog ends the
// process with a message when a run stops making progress, so a hang fails
// the test instead of holding up the build.
#include <gtest/gtest.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli_error.h"
#include "frame_pipeline.h"
#include "frame_sinks.h"
#include "morph_mesh.h"
#include "support/cli_run.h"

namespace {

using namespace std::chrono_literals;
using qvcli::FrameJob;
using qvcli::HostPicture;

// Fails the whole test binary when no run has finished for too long.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit)
    {
        thread_ = std::thread([this] {
            auto last = std::chrono::steady_clock::now();
            long seen = progress_.load();
            while (!done_.load()) {
                std::this_thread::sleep_for(20ms);
                const long now = progress_.load();
                if (now != seen) {
                    seen = now;
                    last = std::chrono::steady_clock::now();
                } else if (std::chrono::steady_clock::now() - last > limit_) {
                    std::fprintf(stderr, "watchdog: pipeline run %ld made no progress for %lld s (%s); failing\n", now,
                                 static_cast<long long>(limit_.count()), what_.load());
                    std::fflush(stderr);
                    std::_Exit(3);
                }
            }
        });
    }
    ~Watchdog()
    {
        done_ = true;
        thread_.join();
    }
    void Advance(const char* what)
    {
        what_ = what;
        ++progress_;
    }

private:
    std::chrono::seconds limit_;
    std::atomic<long> progress_{0};
    std::atomic<bool> done_{false};
    std::atomic<const char*> what_{"starting"};
    std::thread thread_;
};

uint64_t Digest(const HostPicture& picture)
{
    uint64_t h = 1469598103934665603ull;
    for (int y = 0; y < picture.height(); ++y) {
        const uint8_t* row = picture.bytes(y);
        const int bytes = picture.width() * (GetHostBitmapDepth(picture.bitmap()) / 8);
        for (int x = 0; x < bytes; ++x) h = (h ^ row[x]) * 1099511628211ull;
    }
    return h;
}

// The sanitizer build runs each thread start and lock many times slower;
// it gets fewer runs so that both builds take a few seconds.
#ifdef __SANITIZE_ADDRESS__
constexpr int kRunScale = 1;
#else
constexpr int kRunScale = 3;
#endif

// Random work that stalls a thread: nothing, a yield, or a short sleep.
void Stall(std::mt19937& random, int sleepOneIn)
{
    const auto r = random() % static_cast<unsigned>(sleepOneIn);
    if (r == 0) std::this_thread::sleep_for(std::chrono::microseconds(random() % 100));
    else if (r < 3) std::this_thread::yield();
}

class FramePipelineStress : public ::testing::Test {
protected:
    static constexpr int kW = 7, kH = 5, kFrames = 24;

    void SetUp() override
    {
        points_ = {Point(2, 1, 4, 3), Point(4, 3, 2, 2), Point(1, 3, 5, 1)};
        mesh_ = qvcli::BuildMorphMesh(qvcli::MeshSourceFor(points_, {kW, kH}, {kW, kH}, {kW, kH}, "p.txt"));
        source_ = Noise(1);
        dest_ = Noise(2);
        // The reference: every frame rendered on one thread.
        FrameJob job = Job(0, kFrames, 1);
        qvcli::RenderFramesInOrder(job, [&](int, const HostPicture& frame) { reference_.push_back(Digest(frame)); });
        ASSERT_EQ(reference_.size(), std::size_t{kFrames});
    }

    static qvcli::ControlPoint Point(double sx, double sy, double dx, double dy)
    {
        qvcli::ControlPoint p;
        p.srcX = sx;
        p.srcY = sy;
        p.dstX = dx;
        p.dstY = dy;
        return p;
    }

    static HostPicture Noise(unsigned seed)
    {
        std::mt19937 random(seed);
        HostPicture p(kW, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) p.row(y)[x] = random() & 0xFFFFFF;
        return p;
    }

    FrameJob Job(int first, int end, int threads) const
    {
        FrameJob job;
        job.source = &source_;
        job.dest = &dest_;
        job.mesh = &mesh_;
        job.frameCount = kFrames;
        job.first = first;
        job.end = end;
        job.threads = threads;
        return job;
    }

    std::vector<qvcli::ControlPoint> points_;
    qvcli::MorphMesh mesh_;
    HostPicture source_, dest_;
    std::vector<uint64_t> reference_;
};

// One core for many threads: a worker woken for its buffer often waits for
// the processor while others run on, the order in which an unsafe claim of
// frames and buffers goes wrong.
class OneCore {
public:
    OneCore()
    {
        sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t one;
        CPU_ZERO(&one);
        for (int c = 0; c < CPU_SETSIZE; ++c) {
            if (CPU_ISSET(c, &saved_)) {
                CPU_SET(c, &one);
                break;
            }
        }
        sched_setaffinity(0, sizeof one, &one);
    }
    ~OneCore() { sched_setaffinity(0, sizeof saved_, &saved_); }

private:
    cpu_set_t saved_;
};

TEST_F(FramePipelineStress, ThousandsOfRacingRunsDeliverEveryFrameInOrder)
{
    Watchdog watchdog(10s);
    const OneCore oneCore;
    std::mt19937 random(2024);
    for (int run = 0; run < 600 * kRunScale; ++run) {
        const int first = static_cast<int>(random() % (kFrames - 1));
        const int end = first + 1 + static_cast<int>(random() % static_cast<unsigned>(kFrames - first));
        FrameJob job = Job(first, end, 2 + static_cast<int>(random() % 9));
        // Workers that stall after rendering let others overtake them, the
        // order in which an unsafe claim of frames and buffers goes wrong.
        const unsigned seed = static_cast<unsigned>(random());
        std::atomic<unsigned> workerSeed{seed};
        job.prepare = [&](const HostPicture& frame) {
            thread_local std::mt19937 local(workerSeed.fetch_add(1));
            Stall(local, 50);
            HostPicture copy(frame.width(), frame.height());
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x) copy.row(y)[x] = frame.row(y)[x];
            return copy;
        };
        const int consumerSleepsOneIn = run % 3 == 0 ? 5 : 200;  // a writer slower or faster than the renderers
        int expected = first;
        qvcli::RenderFramesInOrder(job, [&](int index, const HostPicture& frame) {
            ASSERT_EQ(index, expected);
            ASSERT_EQ(Digest(frame), reference_[static_cast<std::size_t>(index)]) << "frame " << index;
            ++expected;
            Stall(random, consumerSleepsOneIn);
        });
        ASSERT_EQ(expected, end) << "run " << run;
        watchdog.Advance("racing runs");
    }
}

TEST_F(FramePipelineStress, AConsumerOrStopCheckThatThrowsEndsTheRunAtAnyFrame)
{
    Watchdog watchdog(20s);
    std::mt19937 random(7);
    for (int run = 0; run < 150 * kRunScale; ++run) {
        FrameJob job = Job(0, kFrames, 2 + static_cast<int>(random() % 15));
        const int stopAt = static_cast<int>(random() % kFrames);
        const bool byStopCheck = run % 2 == 0;
        int consumed = 0, currentFrame = 0;
        if (byStopCheck) {
            job.checkStop = [&] {
                if (currentFrame >= stopAt) throw qvcli::CliError("stop", 130);
            };
        }
        try {
            qvcli::RenderFramesInOrder(job, [&](int index, const HostPicture&) {
                if (!byStopCheck && index == stopAt) throw std::runtime_error("sink failed");
                ++consumed;
                currentFrame = index + 1;
                Stall(random, 4);
            });
            ADD_FAILURE() << "run " << run << " was not stopped";
        } catch (const qvcli::CliError& e) {
            EXPECT_TRUE(byStopCheck);
            EXPECT_EQ(e.status(), 130);
        } catch (const std::runtime_error& e) {
            EXPECT_FALSE(byStopCheck);
            EXPECT_STREQ(e.what(), "sink failed");
        }
        EXPECT_EQ(consumed, stopAt) << "run " << run;
        watchdog.Advance("stopped runs");
    }
}

// The stop check is asked while the consumer waits, not only between frames:
// a run whose frames take long still stops promptly.
TEST_F(FramePipelineStress, TheStopCheckIsAskedWhileWaitingForASlowFrame)
{
    Watchdog watchdog(20s);
    FrameJob job = Job(0, 4, 2);
    std::atomic<bool> stop{false};
    std::atomic<int> asked{0};
    job.prepare = [&](const HostPicture& frame) {
        const auto until = std::chrono::steady_clock::now() + 2s;
        while (!stop.load() && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(1ms);
        return HostPicture(frame.width(), frame.height());
    };
    job.checkStop = [&] {
        if (++asked == 3) {
            stop = true;
            throw qvcli::CliError("stop", 130);
        }
    };
    const auto start = std::chrono::steady_clock::now();
    int consumed = 0;
    EXPECT_THROW(qvcli::RenderFramesInOrder(job, [&](int, const HostPicture&) { ++consumed; }), qvcli::CliError);
    EXPECT_EQ(consumed, 0);
    EXPECT_EQ(asked.load(), 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
}

// The real writers behind a racing pipeline: each file comes out complete
// and holds the frames of a one-thread render.
TEST_F(FramePipelineStress, EveryOutputKindBehindRacingWorkers)
{
    Watchdog watchdog(30s);
    qv::test::ScratchDir dir("pipeline-sinks");
    std::mt19937 random(99);
    struct Kind {
        const char* name;
        int runs;
    };
    for (const Kind kind : {Kind{"out.gif", 30}, Kind{"out.avi", 30}, Kind{"f_%03d.png", 8}}) {
        for (int run = 0; run < kind.runs * kRunScale; ++run) {
            const std::string path = (dir / (std::to_string(run) + kind.name)).string();
            qvcli::SinkOptions options;
            options.target = qvcli::ClassifyOutput(path);
            options.size = {kW, kH};
            if (options.target.kind == qvcli::OutputKind::Avi) options.compressor = qvcli::ResolveCodec("dib");
            const int first = static_cast<int>(random() % 4), end = kFrames - static_cast<int>(random() % 4);
            options.frameTotal = end - first;
            options.firstFrame = first;
            std::unique_ptr<qvcli::FrameSink> sink = qvcli::OpenFrameSink(options);
            FrameJob job = Job(first, end, 2 + static_cast<int>(random() % 11));
            const auto prepare = sink->Preparation();
            std::atomic<unsigned> workerSeed{static_cast<unsigned>(random())};
            job.prepare = [&](const HostPicture& frame) {
                thread_local std::mt19937 local(workerSeed.fetch_add(1));
                Stall(local, 6);
                if (prepare) return prepare(frame);
                HostPicture copy(frame.width(), frame.height());
                for (int y = 0; y < frame.height(); ++y)
                    for (int x = 0; x < frame.width(); ++x) copy.row(y)[x] = frame.row(y)[x];
                return copy;
            };
            const bool slowWriter = run % 2 == 0;
            qvcli::RenderFramesInOrder(job, [&](int index, const HostPicture& frame) {
                if (!prepare) {
                    EXPECT_EQ(Digest(frame), reference_[static_cast<std::size_t>(index)]);
                }
                sink->Write(index, frame);
                Stall(random, slowWriter ? 3 : 50);
            });
            sink->Finish();
            if (options.target.kind == qvcli::OutputKind::Still) {
                for (int f = first; f < end; ++f)
                    ASSERT_TRUE(std::filesystem::exists(qvcli::FrameFileName(path, f))) << path << " " << f;
            } else {
                ASSERT_TRUE(std::filesystem::exists(path)) << path;
            }
            watchdog.Advance(kind.name);
        }
        // No temporary file is left behind by any run.
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".partial-"), std::string::npos) << entry.path();
    }
}

}  // namespace

#include "frame_pipeline.h"

#include <quorvane/quorvane.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli_error.h"
#include "render_settings.h"

namespace qvcli {

namespace {

constexpr std::chrono::milliseconds kStopCheckInterval{50};

// A frame buffer that one frame at a time passes through: a worker renders
// into it, the consumer reads it, and it is free again for a later frame.
struct Slot {
    enum class State { Free, Rendering, Ready } state = State::Free;
    int frame = -1;
    HostPicture picture;
    HostPicture prepared;  // what the job's prepare step made of the picture
};

// Why no interleaving of threads can hang (every wait is on changed_, and
// every change of state below is followed by notify_all):
//  - A slot goes Free -> Rendering (a worker) -> Ready (that worker) ->
//    Free (the consumer), and frame f always uses slot (f - first) % n.
//  - A worker waits only before it holds anything: for the slot of the next
//    unclaimed frame to be Free. It then claims that frame and its slot in
//    the same locked step, so frames take their slots in frame order, and
//    frame f gets its slot only after frame f - n has been consumed.
//  - Rendering a claimed frame waits for nothing, so a claimed frame
//    becomes Ready in bounded time (or the job fails, which wakes all).
//  - The consumer waits for c, the lowest frame not yet consumed. Every
//    frame below c has been consumed and so was claimed; thus c <= the next
//    unclaimed frame. If c is claimed it becomes Ready (above). If c is the
//    next unclaimed frame, its slot last held c - n (consumed, so Free) or
//    was never used (Free): the wait of any worker not rendering ends, and
//    since c < end no worker has left, so c is claimed and then Ready.
//  - Workers leave when every frame is claimed, or on stop or failure; the
//    consumer sets stopping_ before joining them, so no join waits for a
//    worker that waits for a slot.
// Claiming a frame number first and then waiting for its slot would not do:
// the worker holding frame f + n could take the slot that frame f waits
// for; f would then never come and the consumer would wait for ever.
class Pipeline {
public:
    Pipeline(const FrameJob& job, int workers) : job_(job)
    {
        // Enough slots that workers keep rendering while the consumer writes.
        const int frames = job.end - job.first;
        slots_.resize(static_cast<std::size_t>(std::min(frames, workers * 2 + 1)));
        for (Slot& slot : slots_) slot.picture = HostPicture(job.mesh->size.width, job.mesh->size.height);
        nextToClaim_ = job.first;
    }

    void Run(int workers, const FrameConsumer& consume, const std::function<void()>& checkStop)
    {
        std::vector<std::thread> threads;
        std::exception_ptr consumerError;
        try {
            for (int i = 0; i < workers; ++i) threads.emplace_back([this] { WorkOrFail(); });
            for (int frame = job_.first; frame < job_.end; ++frame) {
                Slot& slot = SlotOf(frame);
                {
                    std::unique_lock lock(mutex_);
                    const auto ready = [&] { return failed_ || (slot.state == Slot::State::Ready && slot.frame == frame); };
                    // Woken now and then to ask whether to stop (a signal
                    // only sets a flag, and cannot wake this wait).
                    while (!changed_.wait_for(lock, kStopCheckInterval, ready)) {
                        if (!checkStop) continue;
                        lock.unlock();
                        checkStop();
                        lock.lock();
                    }
                    if (failed_) break;
                }
                if (checkStop) checkStop();
                consume(frame, job_.prepare ? slot.prepared : slot.picture);
                {
                    std::lock_guard lock(mutex_);
                    slot.state = Slot::State::Free;
                }
                changed_.notify_all();
            }
        } catch (...) {
            consumerError = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads) t.join();
        if (consumerError) std::rethrow_exception(consumerError);
        if (failed_) throw CliError(failure_);
    }

private:
    Slot& SlotOf(int frame) { return slots_[static_cast<std::size_t>(frame - job_.first) % slots_.size()]; }

    void WorkOrFail()
    {
        try {
            Work();
        } catch (const std::exception& e) {
            {
                std::lock_guard lock(mutex_);
                if (!failed_) failure_ = std::string("rendering stopped: ") + e.what();
                failed_ = true;
            }
            changed_.notify_all();
        }
    }

    void Work()
    {
        // Everything DrawMorph reads or rewrites per call belongs to this worker.
        // With fixed pictures one drawer serves every frame; with moving
        // pictures each frame gets a drawer on its own pair.
        std::optional<FrameDrawer> fixed;
        if (!job_.picturesFor) fixed.emplace(*job_.source, *job_.dest, *job_.mesh, job_.weights);
        for (;;) {
            int frame = 0;
            Slot* slot = nullptr;
            {
                // A frame number and its slot are taken together, in one
                // step under the lock: a worker never holds a frame while
                // waiting for its slot (see the comment on the class).
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return stopping_ || failed_ || nextToClaim_ >= job_.end ||
                           SlotOf(nextToClaim_).state == Slot::State::Free;
                });
                if (stopping_ || failed_ || nextToClaim_ >= job_.end) return;
                frame = nextToClaim_++;
                slot = &SlotOf(frame);
                slot->state = Slot::State::Rendering;
                slot->frame = frame;
            }
            FramePictures moving;  // outlives the drawer made on it
            std::optional<FrameDrawer> perFrame;
            if (job_.picturesFor) {
                moving = job_.picturesFor(frame);
                perFrame.emplace(*moving.source, *moving.dest, *job_.mesh, job_.weights);
            }
            FrameDrawer& drawer = perFrame ? *perFrame : *fixed;
            const int32_t result =
                drawer.Draw(FrameTime(frame, job_.frameCount), frame, job_.frameCount - 1, slot->picture);
            if (result == MORPH_OK && job_.prepare) slot->prepared = job_.prepare(slot->picture);
            {
                std::lock_guard lock(mutex_);
                if (result != MORPH_OK && !failed_) {
                    failed_ = true;
                    failure_ = "rendering frame " + std::to_string(frame) + " failed: " +
                               (result == MORPH_NO_MEMORY ? "no memory for the frame buffers"
                                                          : "renderer result " + std::to_string(result));
                }
                slot->state = Slot::State::Ready;
            }
            changed_.notify_all();
        }
    }

    const FrameJob& job_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int nextToClaim_ = 0;
    bool stopping_ = false;
    bool failed_ = false;
    std::string failure_;
};

}  // namespace

FrameDrawer::FrameDrawer(const HostPicture& source, const HostPicture& dest, const MorphMesh& mesh,
                         WeightMode weights)
    : source_(source), dest_(dest), mesh_(mesh), weights_(weights), sourceDC_(source.NewDC()),
      destDC_(dest.NewDC()), triangles_(mesh.triangles)
{
}

int32_t FrameDrawer::Draw(double t, int index, int last, HostPicture& out)
{
    InterpolateVertices(mesh_, t, weights_, vertices_);
    const bool reversed = DrawReversed(t);
    if (reversed) ReverseWeights(weights_, vertices_);
    const HostPicture& first = reversed ? dest_ : source_;
    const HostPicture& second = reversed ? source_ : dest_;
    const Size2 size = mesh_.size;
    return DrawMorph((reversed ? destDC_ : sourceDC_).get(), (reversed ? sourceDC_ : destDC_).get(), out.dc(),
                     first.bitmap(), second.bitmap(), out.bitmap(), vertices_.x0(), vertices_.y0(),
                     vertices_.weights0(), (reversed ? mesh_.reversedTable : mesh_.controlTable).data(),
                     triangles_.data(), size.width, size.height, size.width, size.height, size.width, size.height,
                     reversed ? last - index : index, last);
}

int WorkerCount(int threads, int frames)
{
    int count = threads > 0 ? threads : static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(count, 1, std::max(1, frames));
}

namespace {

// One run of frames drawn with the same settings.
void RenderRun(const FrameJob& job, const FrameConsumer& consume)
{
    if (job.end <= job.first) return;
    RenderSettings settings;
    settings.backgroundWord = job.backgroundWord;
    settings.lastTriangle = static_cast<int16_t>(static_cast<int>(job.mesh->triangles.size()) - 1);
    settings.renderFlags = job.renderFlags;
    settings.blockSize = job.blockSize;
    const RenderSettingsLease lease(settings);

    const int workers = WorkerCount(job.threads, job.end - job.first);
    Pipeline pipeline(job, workers);
    pipeline.Run(workers, consume, job.checkStop);
}

}  // namespace

void RenderFramesInOrder(const FrameJob& job, const FrameConsumer& consume)
{
    if (!job.endRenderFlags) {
        RenderRun(job, consume);
        return;
    }
    // The settings are bound for all workers at once, so the end frames are
    // runs of their own: [first frame], the frames between, [last frame].
    const int last = job.frameCount - 1;
    FrameJob head = job, middle = job, tail = job;
    head.renderFlags = tail.renderFlags = *job.endRenderFlags;
    head.end = std::min(job.end, 1);
    middle.first = std::max(job.first, 1);
    middle.end = std::min(job.end, last);
    tail.first = std::max(job.first, std::max(last, 1));
    RenderRun(head, consume);
    RenderRun(middle, consume);
    RenderRun(tail, consume);
}

}  // namespace qvcli

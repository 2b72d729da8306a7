// Renders a run of morph frames on every core and hands them on one at a
// time in frame order. Each worker makes its DrawMorph calls with its own
// output bitmap, vertex arrays and copy of the triangle array; the settings
// are bound once before the workers start and stay unchanged while they run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "host_picture.h"
#include "morph_mesh.h"
#include "vertex_interpolation.h"

namespace qvcli {

// The two pictures of one frame, when they change from frame to frame.
struct FramePictures {
    std::shared_ptr<const HostPicture> source, dest;  // both at mesh->size
};

struct FrameJob {
    const HostPicture* source = nullptr;  // both at mesh->size; unused with picturesFor
    const HostPicture* dest = nullptr;
    const MorphMesh* mesh = nullptr;
    WeightMode weights = WeightMode::Even;
    int frameCount = 1;          // frames in the whole morph
    int first = 0, end = 1;      // frames rendered here: first up to, not including, end
    uint32_t backgroundWord = 0;  // the renderer's background/key word
    uint16_t renderFlags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    // Flags for the morph's first and last frames instead, when set.
    std::optional<uint16_t> endRenderFlags;
    int16_t blockSize = 1;
    int threads = 0;             // 0: one per core
    // Work on each rendered frame that runs on the rendering threads; the
    // consumer then receives its result instead of the frame. Empty: none.
    std::function<HostPicture(const HostPicture& frame)> prepare;
    // Called on the calling thread before each frame is consumed and now and
    // then while it waits for one; throws to stop the run. Empty: none.
    std::function<void()> checkStop;
    // Frames of moving pictures: called on the rendering threads, several
    // frames at once, for the pictures of each frame. Empty: source and dest.
    std::function<FramePictures(int frame)> picturesFor;
};

// What one rendering thread owns for its DrawMorph calls: device contexts
// of its own on both pictures, and its own copy of the triangles, which the
// renderer rewrites. The pictures and mesh must outlive it; the renderer's
// settings must be bound (RenderSettingsLease) while Draw runs.
class FrameDrawer {
public:
    FrameDrawer(const HostPicture& source, const HostPicture& dest, const MorphMesh& mesh, WeightMode weights);
    // Draws the frame at time t into `out` (at the mesh size), the even
    // dissolve weight being index / last (t itself when t = index / last).
    // Returns DrawMorph's result.
    int32_t Draw(double t, int index, int last, HostPicture& out);

private:
    const HostPicture& source_;
    const HostPicture& dest_;
    const MorphMesh& mesh_;
    WeightMode weights_;
    std::unique_ptr<HostDC, void (*)(HostDC*)> sourceDC_, destDC_;
    std::vector<MorphTriangle> triangles_;
    FrameVertices vertices_;
};

// Called on the calling thread with frames first..end-1 in order. It may
// throw; rendering then stops and the exception is passed on.
using FrameConsumer = std::function<void(int frameIndex, const HostPicture& frame)>;

void RenderFramesInOrder(const FrameJob& job, const FrameConsumer& consume);

// The number of worker threads used for `threads` (0: one per core).
int WorkerCount(int threads, int frames);

}  // namespace qvcli

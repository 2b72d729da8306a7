// What the editor works on: the two pictures, the points being edited and
// the file they are saved to, the checks the morph command makes on them,
// and preview frames rendered exactly as the morph command renders them.
// Every member may be called from several request threads at once.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli_options.h"
#include "host_picture.h"
#include "morph_mesh.h"
#include "picture_loading.h"
#include "points_file.h"
#include "points_saving.h"
#include "vertex_interpolation.h"

namespace qvcli {

struct EditorSetup {
    std::string fromName, toName;  // as "morph" takes them, clip.avi#12 too
    std::string pointsPath;        // loaded when it exists, created on the first save
    std::optional<Size2> size;     // --size: the morph's output size
    uint32_t backgroundRgb = 0;
};

// One thing wrong with a set of points, as the points reader and the mesh
// builder word it. `point` is the index of the point it is about, or -1.
struct PointProblem {
    int point = -1;
    std::string message;  // the reader's message, "points:3: ..."
    std::string text;     // the same without its "points:3: " prefix
};

struct PointsReport {
    std::vector<PointProblem> problems;  // empty: the points make a mesh
    // Mesh triangles as vertex indices: 0..3 the corners top-left,
    // top-right, bottom-left, bottom-right; 4 + i point i.
    std::vector<std::array<int, 3>> triangles;
    std::vector<int> folded;  // indices into triangles that turn over
};

struct PreviewRequest {
    int frame = 0, frames = 30;  // frame `frame` of a `frames`-frame morph
    int block = 1;
    bool bilinear = false;
    WeightMode weights = WeightMode::Even;
};

// Reads a request's points ({"points": [...]} or a bare array) with the
// points reader. Each point is first written on a line of its own, so that
// the reader's line L names point L - 2. Throws CliError with the reader's
// message for points it refuses.
std::vector<ControlPoint> ReadPointsOfRequest(const std::string& pointsJson);

// Every preview allocates and frees picture-sized blocks; by default the C
// library returns them to the system and the next preview faults fresh
// zeroed pages in again, which costs more than drawing a coarse frame.
// Keeps such blocks in the process instead (the editor's whole use is a few
// pictures' worth). Process-wide; the edit command calls it once.
void KeepPictureMemoryForReuse();

// The render settings are the library's, one set per process: every render
// holds this lock from binding them to the last frame drawn with them.
std::mutex& RenderLock();

class EditorSession {
public:
    // Throws CliError when a picture or the points file cannot be read.
    explicit EditorSession(const EditorSetup& setup);

    const EditorSetup& setup() const { return setup_; }
    Size2 fromSize() const { return from_.size(); }
    Size2 toSize() const { return to_.size(); }
    Size2 outputSize() const { return outputSize_; }
    bool pointsFileExisted() const { return fileExisted_; }
    PointsForm form() const { return form_; }

    // The pictures at their own size, where the points' coordinates lie.
    const HostPicture& picture(bool to) const { return to ? toOwn_ : fromOwn_; }
    const std::string& picturePng(bool to) const { return to ? toPng_ : fromPng_; }

    // The points as they stand; `line` is each point's line in the file as
    // loaded or last saved (0: new).
    std::vector<ControlPoint> points() const;
    // Checks points as "morph" would, without keeping them.
    PointsReport Check(const std::vector<ControlPoint>& points) const;
    // Keeps the points (the editor may hold points with problems; they are
    // shown, and saving waits until they are mended) and reports on them.
    PointsReport Replace(std::vector<ControlPoint> points);
    bool unsaved() const;

    // Writes the points file in its loaded form. Throws CliError, also when
    // the points have problems (the file must stay readable by "morph").
    // Returns the points as saved, with their new lines.
    std::vector<ControlPoint> Save();

    // The mesh of the latest points that made one, or null.
    std::shared_ptr<const MorphMesh> mesh() const;
    // The pictures at the output size, as the renderer takes them.
    const HostPicture& renderPicture(bool to) const { return to ? toOutput_ : fromOutput_; }

    // One preview frame, or nothing when a newer preview request arrived
    // while this one waited for the renderer. Throws CliError.
    std::optional<HostPicture> RenderPreview(const PreviewRequest& request);

private:
    MorphMesh BuildMesh(const std::vector<ControlPoint>& points) const;

    EditorSetup setup_;
    InputPicture from_, to_;
    Size2 outputSize_;
    HostPicture fromOwn_, toOwn_, fromOutput_, toOutput_;
    std::string fromPng_, toPng_;
    bool fileExisted_ = false;
    PointsForm form_ = PointsForm::JsonArray;

    mutable std::mutex mutex_;  // guards the members below
    std::string fileText_;      // the points file as last loaded or saved
    std::vector<ControlPoint> points_, savedPoints_;
    std::shared_ptr<const MorphMesh> mesh_;
    std::atomic<uint64_t> latestPreview_{0};
};

}  // namespace qvcli

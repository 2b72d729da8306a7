#include "editor_export.h"

#include <cmath>
#include <filesystem>

#include "cli_error.h"
#include "compressor_choice.h"
#include "frame_pipeline.h"
#include "frame_sinks.h"
#include "morph_render.h"

namespace qvcli {

namespace {

// Frames drawn per hold of the render lock: small enough that a preview
// waits for at most a few frames.
constexpr int kFramesPerBatch = 2;

struct Cancelled {};

}  // namespace

std::string ExportPath(const std::string& pointsPath, OutputKind kind)
{
    const std::filesystem::path points(pointsPath);
    std::string stem = points.filename().string();
    for (const char* suffix : {".json", ".txt", ".points"}) {
        const std::string s = suffix;
        if (stem.size() > s.size() && stem.compare(stem.size() - s.size(), s.size(), s) == 0)
            stem.erase(stem.size() - s.size());
    }
    std::string name = stem;
    switch (kind) {
    case OutputKind::Gif: name += ".gif"; break;
    case OutputKind::Avi: name += ".avi"; break;
    case OutputKind::Still: name += "_%04d.png"; break;
    case OutputKind::Video: name += ".mp4"; break;  // the page offers GIF, AVI and stills only
    }
    return (points.parent_path() / name).string();
}

ExportRunner::~ExportRunner()
{
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}

ExportStatus ExportRunner::Start(const ExportRequest& request)
{
    std::lock_guard lock(mutex_);
    if (status_.state == "running") throw CliError("an export is running already");
    std::shared_ptr<const MorphMesh> mesh = session_.mesh();
    if (!mesh) throw CliError("the points have problems; mend them before exporting");
    if (request.weights == WeightMode::Flat && FindCornerOnlyTriangle(*mesh) >= 0)
        throw CliError("flat weights need a point inside every triangle of picture corners");
    if (worker_.joinable()) worker_.join();
    const std::string path = ExportPath(session_.setup().pointsPath, request.kind);
    status_ = ExportStatus{"running", 0, request.frames, path, ""};
    if (request.kind == OutputKind::Still)
        status_.output = FrameFileName(path, 0) + " ... " + FrameFileName(path, request.frames - 1);
    cancel_ = false;
    worker_ = std::thread(&ExportRunner::Run, this, request, std::move(mesh), path);
    return status_;
}

void ExportRunner::Cancel() { cancel_ = true; }

ExportStatus ExportRunner::Status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

void ExportRunner::Run(ExportRequest request, std::shared_ptr<const MorphMesh> mesh, std::string path)
{
    std::string failure;
    bool cancelled = false;
    try {
        MorphRunOptions options;
        options.bilinear = request.bilinear;
        options.weights = request.weights;
        options.backgroundRgb = session_.setup().backgroundRgb;

        SinkOptions sink;
        sink.target.kind = request.kind;
        sink.target.path = path;
        sink.target.stillFormat = QV_FORMAT_PNG;
        sink.size = mesh->size;
        sink.frameRate = static_cast<int>(std::lround(request.fps * 100.0));
        sink.loopCount = request.loop;
        if (request.kind == OutputKind::Avi) sink.compressor = ResolveCodec("mjpg");
        sink.frameTotal = request.frames;
        sink.firstFrame = 0;
        std::unique_ptr<FrameSink> output = OpenFrameSink(sink);

        FrameJob job;
        job.source = &session_.renderPicture(false);
        job.dest = &session_.renderPicture(true);
        job.mesh = mesh.get();
        job.weights = request.weights;
        job.frameCount = request.frames;
        job.backgroundWord = BackgroundWord(options);
        job.renderFlags = RenderFlags(options);
        job.endRenderFlags = EndRenderFlags(options);
    job.endRenderFlags = EndRenderFlags(options);
        job.prepare = output->Preparation();
        for (int first = 0; first < request.frames; first += kFramesPerBatch) {
            job.first = first;
            job.end = std::min(request.frames, first + kFramesPerBatch);
            std::lock_guard render(RenderLock());
            RenderFramesInOrder(job, [&](int frame, const HostPicture& picture) {
                if (cancel_) throw Cancelled{};
                output->Write(frame, picture);
                std::lock_guard lock(mutex_);
                status_.done = frame + 1;
            });
        }
        output->Finish();
    } catch (const Cancelled&) {
        cancelled = true;
    } catch (const CliError& e) {
        failure = e.what();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    std::lock_guard lock(mutex_);
    status_.state = cancelled ? "cancelled" : failure.empty() ? "done" : "failed";
    status_.message = failure;
}

}  // namespace qvcli

// The editor's "Export": the whole morph rendered in the background into a
// GIF, an AVI or numbered stills, with progress and cancelling. Frames are
// drawn a few at a time, each batch holding the render lock, so that live
// previews keep coming while an export runs.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "editor_session.h"
#include "output_files.h"

namespace qvcli {

struct ExportRequest {
    OutputKind kind = OutputKind::Gif;
    int frames = 30;
    double fps = 15.0;
    bool bilinear = false;
    WeightMode weights = WeightMode::Even;
    int loop = 0;
};

struct ExportStatus {
    std::string state = "idle";  // idle, running, done, failed, cancelled
    int done = 0, total = 0;
    std::string output;   // what was (or is being) written
    std::string message;  // why it failed
};

// Where an export of `kind` goes: beside the points file, named after it
// ("faces.points.json" -> "faces.gif", "faces_0000.png", ...).
std::string ExportPath(const std::string& pointsPath, OutputKind kind);

class ExportRunner {
public:
    explicit ExportRunner(const EditorSession& session) : session_(session) {}
    ~ExportRunner();  // cancels a running export and waits for it
    ExportRunner(const ExportRunner&) = delete;
    ExportRunner& operator=(const ExportRunner&) = delete;

    // Starts an export of the session's current mesh. Throws CliError when
    // one is running already or the points make no mesh.
    ExportStatus Start(const ExportRequest& request);
    void Cancel();
    ExportStatus Status() const;

private:
    void Run(ExportRequest request, std::shared_ptr<const MorphMesh> mesh, std::string path);

    const EditorSession& session_;
    mutable std::mutex mutex_;
    ExportStatus status_;
    std::atomic<bool> cancel_{false};
    std::thread worker_;
};

}  // namespace qvcli

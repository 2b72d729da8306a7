#include "editor_session.h"

#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli_error.h"
#include "frame_pipeline.h"
#include "morph_render.h"
#include "png_encoding.h"

namespace qvcli {

namespace {

// The name the request's points carry in the reader's messages.
constexpr const char* kRequestName = "points";
constexpr int kFirstPointLine = 2;
constexpr std::size_t kMostProblemsReported = 64;

// "points:7: text" -> line 7 and "text"; line 0 when the message names none.
int MessageLine(const std::string& message, std::string& text)
{
    const std::string prefix = std::string(kRequestName) + ":";
    text = message;
    if (message.rfind(prefix, 0) != 0) return 0;
    std::size_t i = prefix.size();
    int line = 0;
    while (i < message.size() && message[i] >= '0' && message[i] <= '9' && line < 1000000)
        line = line * 10 + (message[i++] - '0');
    if (i + 1 >= message.size() || message[i] != ':' || message[i + 1] != ' ') return 0;
    text = message.substr(i + 2);
    return line;
}

// The page numbers pairs from 1; the reader's "the point on line L" of the
// request is pair L - 1 there.
std::string PairWording(std::string text)
{
    const std::string phrase = "the point on line ";
    const auto at = text.find(phrase);
    if (at == std::string::npos) return text;
    std::size_t end = at + phrase.size();
    int line = 0;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9' && line < 1000000)
        line = line * 10 + (text[end++] - '0');
    if (line < kFirstPointLine) return text;
    return text.substr(0, at) + "pair " + std::to_string(line - kFirstPointLine + 1) + text.substr(end);
}

bool SamePoints(const std::vector<ControlPoint>& a, const std::vector<ControlPoint>& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const ControlPoint &p = a[i], &q = b[i];
        if (p.srcX != q.srcX || p.srcY != q.srcY || p.dstX != q.dstX || p.dstY != q.dstY ||
            p.hasWeight != q.hasWeight || (p.hasWeight && p.weight != q.weight))
            return false;
    }
    return true;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

}  // namespace

void KeepPictureMemoryForReuse()
{
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

std::mutex& RenderLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<ControlPoint> ReadPointsOfRequest(const std::string& pointsJson)
{
    // The caller has parsed the body already; the points are written out
    // again one a line, which also keeps the reader away from any nesting
    // the request held beyond the points themselves.
    const nlohmann::json body = nlohmann::json::parse(pointsJson);
    const nlohmann::json* list = &body;
    if (body.is_object()) {
        const auto it = body.find("points");
        if (it == body.end()) throw CliError(std::string(kRequestName) + ":1: the object has no \"points\" array");
        list = &*it;
    }
    if (!list->is_array()) throw CliError(std::string(kRequestName) + ":1: expected '['");
    std::string text = "[";
    for (std::size_t i = 0; i < list->size(); ++i) {
        text += i == 0 ? "\n" : ",\n";
        text += (*list)[i].dump();
    }
    text += "\n]";
    return ParsePointsJson(text, kRequestName);
}

EditorSession::EditorSession(const EditorSetup& setup) : setup_(setup)
{
    from_ = InputPicture::Open(setup.fromName, setup.backgroundRgb);
    to_ = InputPicture::Open(setup.toName, setup.backgroundRgb);
    if (!setup.size && from_.size() != to_.size())
        throw CliError("the pictures differ in size: '" + from_.name() + "' is " + std::to_string(from_.size().width) +
                       "x" + std::to_string(from_.size().height) + ", '" + to_.name() + "' is " +
                       std::to_string(to_.size().width) + "x" + std::to_string(to_.size().height) +
                       "; give --size WxH to scale both (points are scaled with them)");
    outputSize_ = setup.size.value_or(from_.size());
    fromOwn_ = from_.ToHost(from_.size());
    toOwn_ = to_.ToHost(to_.size());
    fromOutput_ = from_.ToHost(outputSize_);
    toOutput_ = to_.ToHost(outputSize_);
    fromPng_ = EncodePng(fromOwn_, false);
    toPng_ = EncodePng(toOwn_, false);

    std::error_code ec;
    fileExisted_ = std::filesystem::exists(setup.pointsPath, ec);
    if (fileExisted_) {
        points_ = ReadPointsFile(setup.pointsPath);
        fileText_ = ReadWholeFile(setup.pointsPath);
        form_ = PointsFormOf(fileText_);
    } else {
        // A new file takes the form its name suggests.
        const std::string ext = std::filesystem::path(setup.pointsPath).extension().string();
        form_ = ext == ".json" ? PointsForm::JsonArray : PointsForm::Text;
    }
    savedPoints_ = points_;
    const PointsReport report = Check(points_);
    if (report.problems.empty()) mesh_ = std::make_shared<const MorphMesh>(BuildMesh(points_));
}

MorphMesh EditorSession::BuildMesh(const std::vector<ControlPoint>& points) const
{
    return BuildMorphMesh(MeshSourceFor(points, from_.size(), to_.size(), outputSize_, kRequestName));
}

std::vector<ControlPoint> EditorSession::points() const
{
    std::lock_guard lock(mutex_);
    return points_;
}

PointsReport EditorSession::Check(const std::vector<ControlPoint>& points) const
{
    // The mesh builder stops at the first problem; each problem point is
    // taken out in turn so that the page can show all of them at once.
    std::vector<ControlPoint> remaining = points;
    std::vector<int> indexOf(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        remaining[i].line = static_cast<int>(i) + kFirstPointLine;
        indexOf[i] = static_cast<int>(i);
    }
    PointsReport report;
    while (report.problems.size() < kMostProblemsReported) {
        try {
            const MorphMesh mesh = BuildMesh(remaining);
            if (!report.problems.empty()) return report;
            for (const MorphTriangle& t : mesh.triangles) {
                std::array<int, 3> corners{};
                for (int v = 0; v < 3; ++v) corners[v] = t.v[v] <= 0 ? -t.v[v] : t.v[v] + 3;
                if (IsFolded(mesh, t)) report.folded.push_back(static_cast<int>(report.triangles.size()));
                report.triangles.push_back(corners);
            }
            return report;
        } catch (const CliError& e) {
            PointProblem problem;
            problem.message = e.what();
            const int line = MessageLine(problem.message, problem.text);
            problem.text = PairWording(problem.text);
            const int at = line - kFirstPointLine;
            if (line == 0 || at < 0 || at >= static_cast<int>(points.size())) {
                report.problems.push_back(problem);
                return report;
            }
            problem.point = at;
            report.problems.push_back(problem);
            for (std::size_t i = 0; i < remaining.size(); ++i) {
                if (remaining[i].line != line) continue;
                remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(i));
                indexOf.erase(indexOf.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
    }
    return report;
}

PointsReport EditorSession::Replace(std::vector<ControlPoint> points)
{
    PointsReport report = Check(points);
    std::shared_ptr<const MorphMesh> mesh;
    if (report.problems.empty()) mesh = std::make_shared<const MorphMesh>(BuildMesh(points));
    std::lock_guard lock(mutex_);
    points_ = std::move(points);
    if (mesh) mesh_ = std::move(mesh);
    return report;
}

bool EditorSession::unsaved() const
{
    std::lock_guard lock(mutex_);
    return !SamePoints(points_, savedPoints_) || (!fileExisted_ && !points_.empty());
}

std::vector<ControlPoint> EditorSession::Save()
{
    std::lock_guard lock(mutex_);
    const PointsReport report = Check(points_);
    if (!report.problems.empty())
        throw CliError("the points are not saved while one is wrong: " + report.problems.front().text);
    const std::string text = FormatPoints(points_, form_, fileText_);
    ReplaceFileAtomically(setup_.pointsPath, text);
    fileText_ = text;
    fileExisted_ = true;
    // Read back as "morph" will read it: the points now carry their new lines.
    points_ = form_ == PointsForm::Text ? ParsePointsText(text, setup_.pointsPath)
                                        : ParsePointsJson(text, setup_.pointsPath);
    savedPoints_ = points_;
    return points_;
}

std::shared_ptr<const MorphMesh> EditorSession::mesh() const
{
    std::lock_guard lock(mutex_);
    return mesh_;
}

std::optional<HostPicture> EditorSession::RenderPreview(const PreviewRequest& request)
{
    const uint64_t ticket = ++latestPreview_;
    const std::shared_ptr<const MorphMesh> currentMesh = mesh();
    if (!currentMesh) throw CliError("the points have problems; mend them for a preview");
    if (request.weights == WeightMode::Flat && FindCornerOnlyTriangle(*currentMesh) >= 0)
        throw CliError("flat weights need a point inside every triangle of picture corners");
    std::lock_guard render(RenderLock());
    if (latestPreview_.load() != ticket) return std::nullopt;
    FrameJob job;
    job.source = &fromOutput_;
    job.dest = &toOutput_;
    job.mesh = currentMesh.get();
    job.weights = request.weights;
    job.frameCount = request.frames;
    job.first = request.frame;
    job.end = request.frame + 1;
    MorphRunOptions options;
    options.bilinear = request.bilinear;
    options.weights = request.weights;
    options.backgroundRgb = setup_.backgroundRgb;
    job.backgroundWord = BackgroundWord(options);
    job.renderFlags = RenderFlags(options);
    job.endRenderFlags = EndRenderFlags(options);
    job.blockSize = static_cast<int16_t>(request.block);
    job.threads = 1;
    std::optional<HostPicture> frame;
    RenderFramesInOrder(job, [&](int, const HostPicture& picture) {
        frame.emplace(picture.width(), picture.height());
        for (int y = 0; y < picture.height(); ++y)
            std::copy(picture.row(y), picture.row(y) + picture.width(), frame->row(y));
    });
    return frame;
}

}  // namespace qvcli

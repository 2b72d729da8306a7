#include "editor_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli_error.h"
#include "page_assets.h"
#include "png_encoding.h"

#if __has_include("face_landmarks.h")
#include "face_landmarks.h"
#define QUORVANE_EDITOR_FACES 1
#endif

namespace qvcli {

namespace {

using nlohmann::json;

constexpr const char* kNoLandmarks = "landmarks are not available in this build";

void SendJson(httplib::Response& response, int status, const json& body)
{
    response.status = status;
    response.set_content(body.dump(), "application/json");
}

void SendError(httplib::Response& response, int status, const std::string& message)
{
    SendJson(response, status, json{{"error", message}});
}

// Compares without an early exit, so that timing tells nothing of the token.
bool SameSecret(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::string CookieValue(const std::string& cookies, const std::string& name)
{
    std::size_t at = 0;
    while (at < cookies.size()) {
        while (at < cookies.size() && (cookies[at] == ' ' || cookies[at] == ';')) ++at;
        const auto end = cookies.find(';', at);
        const std::string pair = cookies.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (pair.rfind(name + "=", 0) == 0) return pair.substr(name.size() + 1);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return {};
}

json PointArray(const ControlPoint& p)
{
    json a = json::array({p.srcX, p.srcY, p.dstX, p.dstY});
    if (p.hasWeight) a.push_back(p.weight);
    return a;
}

json PointsJson(const std::vector<ControlPoint>& points)
{
    json list = json::array(), lines = json::array();
    for (const ControlPoint& p : points) {
        list.push_back(PointArray(p));
        lines.push_back(p.line);
    }
    return json{{"points", list}, {"lines", lines}};
}

json ReportJson(const PointsReport& report)
{
    json problems = json::array();
    for (const PointProblem& p : report.problems)
        problems.push_back(json{{"point", p.point}, {"message", p.message}, {"text", p.text}});
    return json{{"problems", problems}, {"triangles", report.triangles}, {"folded", report.folded}};
}

json SizeJson(Size2 size) { return json{{"width", size.width}, {"height", size.height}}; }

int IntParam(const httplib::Request& request, const char* name, int min, int max, int fallback)
{
    if (!request.has_param(name)) return fallback;
    return static_cast<int>(ParseInteger(request.get_param_value(name), name, min, max));
}

bool FlagParam(const httplib::Request& request, const char* name)
{
    if (!request.has_param(name)) return false;
    const std::string v = request.get_param_value(name);
    if (v == "1" || v == "true") return true;
    if (v == "0" || v == "false" || v.empty()) return false;
    throw UsageError(std::string(name) + ": '" + v + "' is not 0 or 1");
}

WeightMode WeightsOf(const std::string& v)
{
    if (v == "even" || v.empty()) return WeightMode::Even;
    if (v == "smooth") return WeightMode::Smooth;
    if (v == "flat") return WeightMode::Flat;
    throw UsageError("weights: '" + v + "' is not even, smooth or flat");
}

// How deep a request's arrays and objects may nest: points need 3 levels.
// JSON values are written and compared recursively, so a body of a million
// '[' must be refused before it is parsed.
constexpr int kDeepestNesting = 32;

bool NestsTooDeeply(const std::string& text)
{
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') ++i;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kDeepestNesting) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The request's body as JSON, or a 400 answer.
bool ParseBody(const httplib::Request& request, httplib::Response& response, json& body)
{
    if (NestsTooDeeply(request.body)) {
        SendError(response, 400, "malformed JSON: nested more than " + std::to_string(kDeepestNesting) + " levels deep");
        return false;
    }
    try {
        body = json::parse(request.body);
        return true;
    } catch (const json::exception& e) {
        SendError(response, 400, std::string("malformed JSON: ") + e.what());
        return false;
    }
}

std::vector<ControlPoint> PointsOfBody(const json& body)
{
    std::vector<ControlPoint> points = ReadPointsOfRequest(body.dump());
    // The page sends back each point's line in the file, so that a text
    // file keeps each point in its place with its comment.
    const json* lines = body.is_object() && body.contains("lines") ? &body["lines"] : nullptr;
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].line = 0;
        if (lines && lines->is_array() && i < lines->size() && (*lines)[i].is_number_integer()) {
            const auto line = (*lines)[i].get<int64_t>();
            if (line > 0 && line < (int64_t{1} << 30)) points[i].line = static_cast<int>(line);
        }
    }
    return points;
}

// A number member of the export settings, range-checked before any
// conversion (a huge double must not reach an int).
double NumberField(const json& body, const char* name, double min, double max, double fallback)
{
    if (!body.contains(name)) return fallback;
    const json& v = body[name];
    if (!v.is_number()) throw UsageError(std::string(name) + " must be a number");
    const double value = v.get<double>();
    if (!std::isfinite(value) || value < min || value > max)
        throw UsageError(std::string(name) + " must be from " + FormatCoordinate(min) + " to " + FormatCoordinate(max));
    return value;
}

json ExportJson(const ExportStatus& s)
{
    return json{{"state", s.state}, {"done", s.done}, {"total", s.total}, {"output", s.output}, {"message", s.message}};
}

}  // namespace

std::string NewSessionToken()
{
    unsigned char bytes[32];
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0 || read(fd, bytes, sizeof bytes) != static_cast<ssize_t>(sizeof bytes)) {
        if (fd >= 0) close(fd);
        throw CliError("cannot read /dev/urandom for the session token");
    }
    close(fd);
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) {
        token += digits[b >> 4];
        token += digits[b & 15];
    }
    return token;
}

EditorServer::EditorServer(EditorSession& session, std::string token)
    : session_(session), token_(std::move(token)), exports_(session)
{
    server_.set_payload_max_length(kMostRequestBytes);
    server_.set_read_timeout(10, 0);
    server_.set_write_timeout(10, 0);
    server_.set_keep_alive_max_count(1000);
    server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_header("X-Content-Type-Options", "nosniff");
        response.set_header("Referrer-Policy", "no-referrer");
        response.set_header("Content-Security-Policy",
                            "default-src 'self'; img-src 'self' blob: data:; style-src 'self'; "
                            "connect-src 'self'; frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
        return Admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                        : httplib::Server::HandlerResponse::Handled;
    });
    server_.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr e) {
        std::string message = "internal error";
        try {
            std::rethrow_exception(e);
        } catch (const std::bad_alloc&) {
            message = "out of memory";
        } catch (const std::exception& error) {
            message = error.what();
        } catch (...) {
        }
        SendError(response, 500, message);
    });
    server_.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (!response.body.empty()) return;
        const char* what = response.status == 404   ? "no such resource"
                           : response.status == 413 ? "the request is too large"
                           : response.status == 405 ? "method not allowed"
                                                    : "bad request";
        SendError(response, response.status, what);
    });
    AddRoutes();
}

EditorServer::~EditorServer() { Stop(); }

bool EditorServer::Admit(const httplib::Request& request, httplib::Response& response) const
{
    const std::string port = std::to_string(port_);
    const std::string host = request.get_header_value("Host");
    if (host != "127.0.0.1:" + port && host != "localhost:" + port) {
        SendError(response, 403, "this server answers requests for 127.0.0.1:" + port + " only");
        return false;
    }
    if (request.has_header("Origin")) {
        const std::string origin = request.get_header_value("Origin");
        if (origin != "http://127.0.0.1:" + port && origin != "http://localhost:" + port) {
            SendError(response, 403, "requests from other sites are refused");
            return false;
        }
    }
    std::string token = request.get_header_value("X-Quorvane-Token");
    if (token.empty() && request.has_param("token")) token = request.get_param_value("token");
    if (token.empty()) token = CookieValue(request.get_header_value("Cookie"), "quorvane_" + port);
    if (!SameSecret(token, token_)) {
        SendError(response, 403, "missing or wrong session token; open the address the command printed");
        return false;
    }
    return true;
}

std::string EditorServer::Address() const
{
    return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

int EditorServer::Bind(int port)
{
    const int bound = port == 0 ? server_.bind_to_any_port("127.0.0.1") : (server_.bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0)
        throw CliError(port == 0 ? "cannot listen on 127.0.0.1" : "cannot listen on 127.0.0.1:" + std::to_string(port) +
                                                                      " (is it in use?)");
    port_ = bound;
    return port_;
}

void EditorServer::Run() { server_.listen_after_bind(); }

void EditorServer::Stop()
{
    if (server_.is_running()) server_.stop();
}

void EditorServer::AddRoutes()
{
    auto page = [this](const httplib::Request& request, httplib::Response& response) {
        const std::string path = request.path == "/" ? "/index.html" : request.path;
        for (std::size_t i = 0; i < kPageAssetCount; ++i) {
            const PageAsset& asset = kPageAssets[i];
            if (path != asset.path) continue;
            response.set_content(reinterpret_cast<const char*>(asset.bytes), asset.size, asset.contentType);
            // The page's own requests then carry the token without it
            // showing in their addresses.
            response.set_header("Set-Cookie", "quorvane_" + std::to_string(port_) + "=" + token_ +
                                                  "; Path=/; HttpOnly; SameSite=Strict");
            return;
        }
        SendError(response, 404, "no such resource");
    };
    server_.Get("/", page);
    server_.Get(R"(/[A-Za-z0-9_-]+\.(html|js|css|svg))", page);

    server_.Get("/api/session", [this](const httplib::Request&, httplib::Response& response) {
        bool landmarks = false;
#ifdef QUORVANE_EDITOR_FACES
        landmarks = FaceLandmarksAvailable();
#endif
        SendJson(response, 200,
                 json{{"from", {{"name", session_.setup().fromName}, {"size", SizeJson(session_.fromSize())}}},
                      {"to", {{"name", session_.setup().toName}, {"size", SizeJson(session_.toSize())}}},
                      {"output", SizeJson(session_.outputSize())},
                      {"pointsFile", session_.setup().pointsPath},
                      {"pointsFileExists", session_.pointsFileExisted()},
                      {"landmarks", landmarks},
                      {"landmarksNote", landmarks ? "" : kNoLandmarks}});
    });
    server_.Get(R"(/api/picture/(from|to))", [this](const httplib::Request& request, httplib::Response& response) {
        const std::string& png = session_.picturePng(request.matches[1] == "to");
        response.set_content(png.data(), png.size(), "image/png");
    });
    server_.Get("/api/points", [this](const httplib::Request&, httplib::Response& response) {
        const std::vector<ControlPoint> points = session_.points();
        json body = PointsJson(points);
        body.update(ReportJson(session_.Check(points)));
        body["unsaved"] = session_.unsaved();
        SendJson(response, 200, body);
    });
    server_.Put("/api/points", [this](const httplib::Request& request, httplib::Response& response) {
        json body;
        if (!ParseBody(request, response, body)) return;
        std::vector<ControlPoint> points;
        try {
            points = PointsOfBody(body);
        } catch (const CliError& e) {
            PointsReport report;
            PointProblem problem;
            problem.message = e.what();
            problem.text = e.what();
            report.problems.push_back(problem);
            json answer = ReportJson(report);
            answer["error"] = e.what();
            answer["kept"] = false;
            SendJson(response, 422, answer);
            return;
        }
        const PointsReport report = session_.Replace(std::move(points));
        json answer = ReportJson(report);
        answer["kept"] = true;
        answer["unsaved"] = session_.unsaved();
        if (!report.problems.empty()) answer["error"] = report.problems.front().message;
        SendJson(response, report.problems.empty() ? 200 : 422, answer);
    });
    server_.Post("/api/save", [this](const httplib::Request&, httplib::Response& response) {
        try {
            json body = PointsJson(session_.Save());
            body["saved"] = session_.setup().pointsPath;
            body["unsaved"] = false;
            SendJson(response, 200, body);
        } catch (const CliError& e) {
            SendError(response, session_.mesh() && session_.Check(session_.points()).problems.empty() ? 500 : 422,
                      e.what());
        }
    });
    server_.Get("/api/preview", [this](const httplib::Request& request, httplib::Response& response) {
        PreviewRequest preview;
        try {
            preview.frames = IntParam(request, "frames", 1, 32767, 30);
            if (request.has_param("t")) {
                const double t = ParseNumber(request.get_param_value("t"), "t", 0.0, 1.0);
                preview.frame = static_cast<int>(std::lround(t * (preview.frames - 1)));
            }
            preview.frame = IntParam(request, "frame", 0, preview.frames - 1, preview.frame);
            preview.block = IntParam(request, "block", 1, 256, 1);
            preview.bilinear = FlagParam(request, "bilinear");
            preview.weights = WeightsOf(request.has_param("weights") ? request.get_param_value("weights") : "");
        } catch (const CliError& e) {
            SendError(response, 400, e.what());
            return;
        }
        try {
            const std::optional<HostPicture> frame = session_.RenderPreview(preview);
            if (!frame) {
                response.status = 204;  // a newer preview was asked for meanwhile
                return;
            }
            response.set_content(EncodePng(*frame, true), "image/png");
        } catch (const CliError& e) {
            SendError(response, 422, e.what());
        }
    });
    server_.Post("/api/export", [this](const httplib::Request& request, httplib::Response& response) {
        json body;
        if (!ParseBody(request, response, body)) return;
        ExportRequest job;
        try {
            if (!body.is_object()) throw UsageError("expected an object of export settings");
            const std::string kind = body.value("kind", "gif");
            if (kind == "gif") job.kind = OutputKind::Gif;
            else if (kind == "avi") job.kind = OutputKind::Avi;
            else if (kind == "png") job.kind = OutputKind::Still;
            else throw UsageError("kind: '" + kind + "' is not gif, avi or png");
            job.frames = static_cast<int>(NumberField(body, "frames", 1, 32767, 30));
            job.fps = NumberField(body, "fps", 0.01, job.kind == OutputKind::Gif ? 100.0 : 1000.0, 15.0);
            job.bilinear = body.value("bilinear", false);
            job.weights = WeightsOf(body.value("weights", "even"));
            job.loop = static_cast<int>(NumberField(body, "loop", 0, 65535, 0));
        } catch (const json::exception& e) {
            SendError(response, 400, std::string("bad export settings: ") + e.what());
            return;
        } catch (const CliError& e) {
            SendError(response, 400, e.what());
            return;
        }
        try {
            SendJson(response, 202, ExportJson(exports_.Start(job)));
        } catch (const CliError& e) {
            SendError(response, 409, e.what());
        }
    });
    server_.Get("/api/export", [this](const httplib::Request&, httplib::Response& response) {
        SendJson(response, 200, ExportJson(exports_.Status()));
    });
    server_.Post("/api/export/cancel", [this](const httplib::Request&, httplib::Response& response) {
        exports_.Cancel();
        SendJson(response, 200, ExportJson(exports_.Status()));
    });
    server_.Post("/api/landmarks", [this](const httplib::Request& request, httplib::Response& response) {
#ifdef QUORVANE_EDITOR_FACES
        if (!FaceLandmarksAvailable()) {
            SendError(response, 501, kNoLandmarks);
            return;
        }
        std::vector<ControlPoint> existing;
        if (!request.body.empty()) {
            json body;
            if (!ParseBody(request, response, body)) return;
            try {
                existing = PointsOfBody(body);
            } catch (const CliError& e) {
                SendError(response, 422, e.what());
                return;
            }
        }
        try {
            FacePlacement placement;
            placement.outputSize = session_.outputSize();
            placement.existing = &existing;
            placement.fromName = session_.setup().fromName;
            placement.toName = session_.setup().toName;
            const FacePointsResult faces = DetectFacePoints(session_.picture(false), session_.picture(true), placement);
            json body = PointsJson(faces.points);
            body["note"] = faces.note;
            SendJson(response, 200, body);
        } catch (const CliError& e) {
            SendError(response, 422, e.what());
        }
#else
        (void)request;
        SendError(response, 501, kNoLandmarks);
#endif
    });
}

}  // namespace qvcli

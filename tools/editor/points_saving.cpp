#include "points_saving.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "cli_error.h"

namespace qvcli {

namespace {

std::string PointNumbers(const ControlPoint& p, const char* separator)
{
    std::string s = FormatCoordinate(p.srcX) + separator + FormatCoordinate(p.srcY) + separator +
                    FormatCoordinate(p.dstX) + separator + FormatCoordinate(p.dstY);
    if (p.hasWeight) s += separator + FormatCoordinate(p.weight);
    return s;
}

std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto newline = text.find('\n');
        lines.push_back(text.substr(0, newline));
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
    }
    return lines;
}

std::string FormatText(const std::vector<ControlPoint>& points, std::string_view original)
{
    // The original's point lines, by line number, so that each kept point
    // takes its own line's place with that line's comment.
    std::vector<ControlPoint> before;
    try {
        before = ParsePointsText(original, "original");
    } catch (const CliError&) {
        before.clear();  // an unreadable original keeps nothing but is not lost: it was never loaded
    }
    std::map<int, const ControlPoint*> pointOfLine;
    for (const ControlPoint& p : before) pointOfLine[p.line] = nullptr;
    std::vector<const ControlPoint*> appended;
    for (const ControlPoint& p : points) {
        const auto it = pointOfLine.find(p.line);
        if (p.line > 0 && it != pointOfLine.end() && it->second == nullptr) it->second = &p;
        else appended.push_back(&p);
    }
    std::string out;
    const auto lines = SplitLines(original);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line = lines[i];
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto it = pointOfLine.find(static_cast<int>(i) + 1);
        if (it == pointOfLine.end()) {
            out.append(line);
            out += '\n';
            continue;
        }
        if (it->second == nullptr) continue;  // the point was deleted
        out += PointNumbers(*it->second, " ");
        if (const auto hash = line.find('#'); hash != std::string_view::npos) {
            out += "  ";
            out.append(line.substr(hash));
        }
        out += '\n';
    }
    if (original.empty()) out += "# srcX srcY dstX dstY [weight]\n";
    for (const ControlPoint* p : appended) out += PointNumbers(*p, " ") + "\n";
    return out;
}

std::string FormatJsonList(const std::vector<ControlPoint>& points, const char* indent)
{
    std::string out = "[";
    for (std::size_t i = 0; i < points.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        out += indent;
        out += "  [" + PointNumbers(points[i], ", ") + "]";
    }
    out += points.empty() ? "]" : std::string("\n") + indent + "]";
    return out;
}

std::string FormatJsonObject(const std::vector<ControlPoint>& points, std::string_view original)
{
    nlohmann::ordered_json object = nlohmann::ordered_json::object();
    try {
        object = nlohmann::ordered_json::parse(original);
    } catch (const nlohmann::json::exception&) {
    }
    if (!object.is_object()) object = nlohmann::ordered_json::object();
    if (!object.contains("points")) object["points"] = nullptr;
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : object.items()) {
        out += first ? "\n  " : ",\n  ";
        first = false;
        out += nlohmann::ordered_json(key).dump() + ": ";
        out += key == "points" ? FormatJsonList(points, "  ") : value.dump();
    }
    return out + "\n}\n";
}

}  // namespace

std::string FormatCoordinate(double value)
{
    if (value == std::floor(value) && std::fabs(value) < 1e15) return std::to_string(static_cast<long long>(value));
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

PointsForm PointsFormOf(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first == std::string_view::npos) return PointsForm::Text;
    if (text[first] == '[') return PointsForm::JsonArray;
    if (text[first] == '{') return PointsForm::JsonObject;
    return PointsForm::Text;
}

std::string FormatPoints(const std::vector<ControlPoint>& points, PointsForm form, std::string_view original)
{
    switch (form) {
    case PointsForm::Text: return FormatText(points, original);
    case PointsForm::JsonArray: return FormatJsonList(points, "") + "\n";
    case PointsForm::JsonObject: return FormatJsonObject(points, original);
    }
    return {};
}

void ReplaceFileAtomically(const std::string& path, std::string_view text)
{
    const std::filesystem::path target(path);
    const std::filesystem::path dir = target.parent_path().empty() ? "." : target.parent_path();
    std::string pattern = (dir / ("." + target.filename().string() + ".saving-XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw CliError("cannot save '" + path + "': " + std::strerror(errno));
    auto fail = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        close(fd);
        std::remove(pattern.c_str());
        throw CliError("cannot save '" + path + "': " + what + reason);
    };
    // The new file keeps the old one's permissions, or gets the usual ones.
    struct stat old {};
    mode_t mode = 0;
    if (stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0) fail("");
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail("");
        done += static_cast<std::size_t>(n);
    }
    if (fsync(fd) != 0) fail("");
    if (close(fd) != 0) {
        std::remove(pattern.c_str());
        throw CliError("cannot save '" + path + "': " + std::strerror(errno));
    }
    if (std::rename(pattern.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(pattern.c_str());
        throw CliError("cannot save '" + path + "': " + reason);
    }
    // The rename itself reaches the disk with the directory.
    if (const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY); dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

}  // namespace qvcli

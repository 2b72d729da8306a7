#include "points_writer.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli_error.h"
#include "output_files.h"

namespace qvcli {

namespace {

// Shortest text that reads back as the same double.
std::string Number(double v)
{
    char text[40];
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    return text;
}

std::string Fields(const ControlPoint& p, const char* separator)
{
    std::string line = Number(p.srcX) + separator + Number(p.srcY) + separator + Number(p.dstX) + separator +
                       Number(p.dstY);
    if (p.hasWeight) line += separator + Number(p.weight);
    return line;
}

bool EndsWithJson(const std::string& path)
{
    if (path.size() < 5) return false;
    std::string end = path.substr(path.size() - 5);
    for (char& c : end) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return end == ".json";
}

}  // namespace

std::string FormatPointsJson(const std::vector<ControlPoint>& points)
{
    std::string text = "[";
    for (std::size_t i = 0; i < points.size(); ++i) {
        text += i == 0 ? "\n  [" : ",\n  [";
        text += Fields(points[i], ", ");
        text += "]";
    }
    text += points.empty() ? "]\n" : "\n]\n";
    return text;
}

std::string FormatPointsText(const std::vector<ControlPoint>& points, const std::string& comment)
{
    std::string text;
    std::size_t start = 0;
    while (start < comment.size()) {
        std::size_t end = comment.find('\n', start);
        if (end == std::string::npos) end = comment.size();
        text += "# " + comment.substr(start, end - start) + "\n";
        start = end + 1;
    }
    for (const ControlPoint& p : points) text += Fields(p, " ") + "\n";
    return text;
}

void WritePointsFile(const std::string& path, const std::vector<ControlPoint>& points, const std::string& comment)
{
    const std::string text = EndsWithJson(path) ? FormatPointsJson(points) : FormatPointsText(points, comment);
    PendingFile file(path);
    {
        std::ofstream out(file.temporaryPath(), std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) throw CliError("cannot write '" + path + "': " + WhyNotWritable(path));
    }
    file.Commit();
}

}  // namespace qvcli

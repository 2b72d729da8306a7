#include "points_file.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli_error.h"

namespace qvcli {

namespace {

std::string Where(const std::string& fileName, int line)
{
    return fileName + ":" + std::to_string(line) + ": ";
}

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\v' || c == '\f'; }

double ParseCoordinate(std::string_view token, const std::string& fileName, int line)
{
    const std::string copy(token);
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || copy.empty())
        throw CliError(Where(fileName, line) + "'" + copy + "' is not a number");
    if (!std::isfinite(value) || errno == ERANGE)
        throw CliError(Where(fileName, line) + "'" + copy + "' is not a finite number");
    return value;
}

}  // namespace

void CheckPointWeight(double weight, const std::string& fileName, int line)
{
    if (!(weight > 0.0) || weight > 1000.0)
        throw CliError(Where(fileName, line) + "weight must be above 0 and at most 1000 (1 turns evenly)");
}

std::vector<ControlPoint> ParsePointsText(std::string_view text, const std::string& fileName)
{
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    std::vector<ControlPoint> points;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const auto newline = text.find('\n');
        std::string_view content = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (const auto hash = content.find('#'); hash != std::string_view::npos) content = content.substr(0, hash);
        if (content.find('\0') != std::string_view::npos)
            throw CliError(Where(fileName, line) + "holds a NUL byte; is this a text file?");

        std::vector<std::string_view> tokens;
        std::size_t i = 0;
        while (i < content.size()) {
            while (i < content.size() && IsSeparator(content[i])) ++i;
            std::size_t j = i;
            while (j < content.size() && !IsSeparator(content[j])) ++j;
            if (j > i) tokens.push_back(content.substr(i, j - i));
            i = j;
        }
        if (tokens.empty()) continue;
        if (tokens.size() != 4 && tokens.size() != 5)
            throw CliError(Where(fileName, line) + "expected 4 or 5 numbers (srcX srcY dstX dstY [weight]), found " +
                           std::to_string(tokens.size()));
        ControlPoint p;
        p.line = line;
        p.srcX = ParseCoordinate(tokens[0], fileName, line);
        p.srcY = ParseCoordinate(tokens[1], fileName, line);
        p.dstX = ParseCoordinate(tokens[2], fileName, line);
        p.dstY = ParseCoordinate(tokens[3], fileName, line);
        if (tokens.size() == 5) {
            p.weight = ParseCoordinate(tokens[4], fileName, line);
            p.hasWeight = true;
            CheckPointWeight(p.weight, fileName, line);
        }
        points.push_back(p);
    }
    return points;
}

std::vector<ControlPoint> ReadPointsFile(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw CliError("points file '" + path + "' is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw CliError("cannot read points file '" + path + "': " + std::strerror(errno));
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) throw CliError("cannot read points file '" + path + "'");
    const std::string text = buffer.str();
    const auto first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
    if (first != std::string::npos && (text[first] == '[' || text[first] == '{')) return ParsePointsJson(text, path);
    return ParsePointsText(text, path);
}

}  // namespace qvcli

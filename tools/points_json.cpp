// The JSON form of a control-point file, read with nlohmann-json. The one
// thing the library does not give is where a point was written: the text is
// fed through an iterator that counts lines, and the parser's callback notes
// the line at which each point opens, so that every message names its line.
#include <cmath>
#include <cstddef>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli_error.h"
#include "points_file.h"

namespace qvcli {

namespace {

using nlohmann::json;

// Characters of the text; the line of the last character read is kept in
// *line as the parser advances.
class LineCountingIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    LineCountingIterator() = default;
    LineCountingIterator(const char* at, int* line) : at_(at), line_(line) {}
    reference operator*() const { return *at_; }
    LineCountingIterator& operator++()
    {
        if (line_ != nullptr && *at_ == '\n') ++*line_;
        ++at_;
        return *this;
    }
    LineCountingIterator operator++(int)
    {
        LineCountingIterator before = *this;
        ++*this;
        return before;
    }
    bool operator==(const LineCountingIterator& other) const { return at_ == other.at_; }

private:
    const char* at_ = nullptr;
    int* line_ = nullptr;
};

[[noreturn]] void FailAt(const std::string& file, int line, const std::string& what)
{
    throw CliError(file + ":" + std::to_string(line) + ": " + what);
}

int LineOfByte(std::string_view text, std::size_t byte)
{
    const std::size_t end = byte < text.size() ? byte : text.size();
    int line = 1;
    for (std::size_t i = 0; i < end; ++i)
        if (text[i] == '\n') ++line;
    return line;
}

// nlohmann's parse errors read "[json.exception.parse_error.101] parse error
// at line L, column C: syntax error while parsing ...": keep what follows the
// position, since our own prefix names the file and line.
std::string SyntaxMessage(const json::parse_error& e)
{
    const std::string what = e.what();
    const std::size_t column = what.find(", column ");
    const std::size_t colon = column == std::string::npos ? std::string::npos : what.find(": ", column);
    return colon == std::string::npos ? what : what.substr(colon + 2);
}

class PointsReader {
public:
    PointsReader(const std::string& file, const std::vector<int>& lines) : file_(file), lines_(lines) {}

    std::vector<ControlPoint> Read(const json& document)
    {
        const json* list = &document;
        if (document.is_object()) {
            const auto found = document.find("points");
            if (found == document.end()) FailAt(file_, 1, "the object has no \"points\" array");
            list = &*found;
        }
        if (!list->is_array())
            FailAt(file_, 1, "expected an array of points, or an object with a \"points\" array");
        std::vector<ControlPoint> points;
        points.reserve(list->size());
        for (std::size_t i = 0; i < list->size(); ++i) points.push_back(Point((*list)[i], i));
        return points;
    }

private:
    ControlPoint Point(const json& value, std::size_t index) const
    {
        ControlPoint p;
        p.line = index < lines_.size() ? lines_[index] : 1;
        if (value.is_array()) {
            if (value.size() < 4 || value.size() > 5)
                FailAt(file_, p.line, "a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight]), found " +
                                          std::to_string(value.size()));
            p.srcX = Number(value[0], p.line);
            p.srcY = Number(value[1], p.line);
            p.dstX = Number(value[2], p.line);
            p.dstY = Number(value[3], p.line);
            if (value.size() == 5) {
                p.weight = Number(value[4], p.line);
                p.hasWeight = true;
            }
        } else if (value.is_object()) {
            bool src = false, dst = false;
            for (const auto& [key, field] : value.items()) {
                if (key == "src") {
                    Pair(field, p.line, p.srcX, p.srcY);
                    src = true;
                } else if (key == "dst") {
                    Pair(field, p.line, p.dstX, p.dstY);
                    dst = true;
                } else if (key == "weight") {
                    p.weight = Number(field, p.line);
                    p.hasWeight = true;
                } else {
                    FailAt(file_, p.line, "unknown field \"" + key + "\" (a point has src, dst and weight)");
                }
            }
            if (!src || !dst) FailAt(file_, p.line, "a point needs both \"src\" and \"dst\"");
        } else {
            FailAt(file_, p.line, "expected a point: [srcX, srcY, dstX, dstY] or {\"src\": [x, y], \"dst\": [x, y]}");
        }
        if (p.hasWeight) CheckPointWeight(p.weight, file_, p.line);
        return p;
    }

    double Number(const json& value, int line) const
    {
        if (!value.is_number()) FailAt(file_, line, "expected a number, found " + value.dump());
        const double number = value.get<double>();
        if (!std::isfinite(number)) FailAt(file_, line, "'" + value.dump() + "' is not a finite number");
        return number;
    }

    void Pair(const json& value, int line, double& x, double& y) const
    {
        if (!value.is_array() || value.size() != 2) FailAt(file_, line, "expected a pair [x, y], found " + value.dump());
        x = Number(value[0], line);
        y = Number(value[1], line);
    }

    const std::string& file_;
    const std::vector<int>& lines_;
};

}  // namespace

std::vector<ControlPoint> ParsePointsJson(std::string_view text, const std::string& fileName)
{
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

    // The line at which each point opens: a point is an array or object one
    // level inside the top-level array, or inside the "points" array of a
    // top-level object.
    int line = 1;
    std::vector<int> pointLines;
    bool topIsObject = false;
    std::string topKey;
    const json::parser_callback_t note = [&](int depth, json::parse_event_t event, json& parsed) {
        const bool opens = event == json::parse_event_t::array_start || event == json::parse_event_t::object_start;
        if (opens && depth == 0) topIsObject = event == json::parse_event_t::object_start;
        if (event == json::parse_event_t::key && depth == 1 && topIsObject) topKey = parsed.get<std::string>();
        if (opens && ((depth == 1 && !topIsObject) || (depth == 2 && topIsObject && topKey == "points")))
            pointLines.push_back(line);
        return true;
    };

    json document;
    try {
        document = json::parse(LineCountingIterator(text.data(), &line),
                               LineCountingIterator(text.data() + text.size(), nullptr), note);
    } catch (const json::parse_error& e) {
        FailAt(fileName, LineOfByte(text, e.byte == 0 ? 0 : e.byte - 1), SyntaxMessage(e));
    }
    return PointsReader(fileName, pointLines).Read(document);
}

}  // namespace qvcli

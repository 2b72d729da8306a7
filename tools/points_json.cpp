// The JSON form of a control-point file: a small reader for exactly the
// shapes that file takes, keeping line numbers for messages.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli_error.h"
#include "points_file.h"

namespace qvcli {

namespace {

class JsonPoints {
public:
    JsonPoints(std::string_view text, const std::string& fileName) : text_(text), file_(fileName) {}

    std::vector<ControlPoint> Read()
    {
        Skip();
        if (Peek() == '{') {
            ++pos_;
            bool found = false;
            Skip();
            if (Peek() != '}') {
                for (;;) {
                    const std::string key = String();
                    Expect(':');
                    if (key == "points") {
                        PointList();
                        found = true;
                    } else {
                        SkipValue();
                    }
                    Skip();
                    if (Peek() == ',') { ++pos_; Skip(); continue; }
                    break;
                }
            }
            Expect('}');
            if (!found) Fail("the object has no \"points\" array");
        } else {
            PointList();
        }
        Skip();
        if (pos_ < text_.size()) Fail("unexpected text after the points");
        return std::move(points_);
    }

private:
    [[noreturn]] void Fail(const std::string& what) const { FailAt(line_, what); }
    [[noreturn]] void FailAt(int line, const std::string& what) const
    {
        throw CliError(file_ + ":" + std::to_string(line) + ": " + what);
    }
    char Peek() const { return pos_ < text_.size() ? text_[pos_] : '\0'; }
    void Skip()
    {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n') ++line_;
            else if (c != ' ' && c != '\t' && c != '\r') break;
            ++pos_;
        }
    }
    void Expect(char c)
    {
        Skip();
        if (Peek() != c) Fail(std::string("expected '") + c + "'" + (pos_ < text_.size() ? "" : " before the end"));
        ++pos_;
        Skip();
    }
    std::string String()
    {
        Skip();
        if (Peek() != '"') Fail("expected a quoted name");
        ++pos_;
        std::string s;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            if (text_[pos_] == '\n') Fail("unterminated string");
            if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
            s += text_[pos_++];
        }
        if (pos_ >= text_.size()) Fail("unterminated string");
        ++pos_;
        return s;
    }
    double Number()
    {
        Skip();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("+-.0123456789eE").find(text_[pos_]) != std::string_view::npos)
            ++pos_;
        const std::string token(text_.substr(start, pos_ - start));
        char* end = nullptr;
        const double value = token.empty() ? NAN : std::strtod(token.c_str(), &end);
        if (token.empty() || end != token.c_str() + token.size()) Fail("expected a number");
        if (!std::isfinite(value)) Fail("'" + token + "' is not a finite number");
        return value;
    }
    void Pair(double& x, double& y)
    {
        Expect('[');
        x = Number();
        Expect(',');
        y = Number();
        Expect(']');
    }
    void PointList()
    {
        Expect('[');
        if (Peek() == ']') { ++pos_; return; }
        for (;;) {
            Skip();
            ControlPoint p;
            p.line = line_;
            if (Peek() == '[') {
                ++pos_;
                double v[5] = {};
                int n = 0;
                for (;;) {
                    if (n == 5) Fail("a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight])");
                    v[n++] = Number();
                    Skip();
                    if (Peek() == ',') { ++pos_; continue; }
                    break;
                }
                Expect(']');
                if (n < 4) FailAt(p.line, "a point has 4 or 5 numbers (srcX, srcY, dstX, dstY[, weight]), found " + std::to_string(n));
                p.srcX = v[0]; p.srcY = v[1]; p.dstX = v[2]; p.dstY = v[3];
                if (n == 5) { p.weight = v[4]; p.hasWeight = true; }
            } else if (Peek() == '{') {
                ++pos_;
                bool src = false, dst = false;
                Skip();
                while (Peek() != '}') {
                    const std::string key = String();
                    Expect(':');
                    if (key == "src") { Pair(p.srcX, p.srcY); src = true; }
                    else if (key == "dst") { Pair(p.dstX, p.dstY); dst = true; }
                    else if (key == "weight") { p.weight = Number(); p.hasWeight = true; }
                    else Fail("unknown field \"" + key + "\" (a point has src, dst and weight)");
                    Skip();
                    if (Peek() == ',') { ++pos_; Skip(); continue; }
                    if (Peek() != '}') Fail("expected ',' or '}'");
                }
                ++pos_;
                if (!src || !dst) FailAt(p.line, "a point needs both \"src\" and \"dst\"");
            } else {
                Fail("expected a point: [srcX, srcY, dstX, dstY] or {\"src\": [x, y], \"dst\": [x, y]}");
            }
            if (p.hasWeight) CheckPointWeight(p.weight, file_, p.line);
            points_.push_back(p);
            Skip();
            if (Peek() == ',') { ++pos_; continue; }
            Expect(']');
            return;
        }
    }
    void SkipValue()
    {
        Skip();
        const char c = Peek();
        if (c == '"') { String(); return; }
        if (c == '[' || c == '{') {
            const char close = c == '[' ? ']' : '}';
            ++pos_;
            Skip();
            if (Peek() == close) { ++pos_; return; }
            for (;;) {
                if (c == '{') { String(); Expect(':'); }
                SkipValue();
                Skip();
                if (Peek() == ',') { ++pos_; continue; }
                Expect(close);
                return;
            }
        }
        for (const char* word : {"true", "false", "null"}) {
            if (text_.substr(pos_, std::strlen(word)) == word) { pos_ += std::strlen(word); return; }
        }
        Number();
    }

    std::string_view text_;
    const std::string& file_;
    std::size_t pos_ = 0;
    int line_ = 1;
    std::vector<ControlPoint> points_;
};

}  // namespace

std::vector<ControlPoint> ParsePointsJson(std::string_view text, const std::string& fileName)
{
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    return JsonPoints(text, fileName).Read();
}

}  // namespace qvcli

#include "support/animation_frames.h"

#include <cstdlib>
#include <regex>
#include <sstream>

namespace qv::test {

namespace {

std::vector<RgbPicture> Split(const std::string& bytes, int width, int height)
{
    const std::size_t frameBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    std::vector<RgbPicture> frames;
    if (bytes.size() % frameBytes != 0) return frames;
    for (std::size_t at = 0; at < bytes.size(); at += frameBytes)
        frames.push_back(RgbPicture{width, height, std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                                                        bytes.begin() + static_cast<std::ptrdiff_t>(at + frameBytes))});
    return frames;
}

int64_t Nanoseconds(const std::string& clock)
{
    // "0:00:02.050000000"
    std::smatch m;
    if (!std::regex_match(clock, m, std::regex(R"((\d+):(\d+):(\d+)\.(\d{9}))"))) return -1;
    return ((std::stoll(m[1]) * 60 + std::stoll(m[2])) * 60 + std::stoll(m[3])) * 1000000000LL + std::stoll(m[4]);
}

}  // namespace

std::vector<RgbPicture> FramesWithFfmpeg(const std::filesystem::path& file, int width, int height)
{
    return Split(ShellOutput("ffmpeg -v error -i " + ShellQuote(file.string()) +
                             " -vsync passthrough -f rawvideo -pix_fmt rgb24 - 2>/dev/null"),
                 width, height);
}

std::vector<RgbPicture> FramesWithImageMagick(const std::filesystem::path& file, int width, int height)
{
    return Split(ShellOutput("convert " + ShellQuote(file.string()) + " -coalesce -depth 8 rgb:- 2>/dev/null"), width,
                 height);
}

GStreamerView DecodeWithGStreamer(const std::filesystem::path& file)
{
    const std::string log = ShellOutput("gst-launch-1.0 -v filesrc location=" + ShellQuote(file.string()) +
                                        " ! decodebin ! videoconvert ! video/x-raw,format=RGB ! fakesink silent=false 2>&1");
    GStreamerView view;
    std::istringstream lines(log);
    int64_t segmentStart = -1, end = -1;
    const std::regex chain(R"(chain .*pts: ([0-9:.]+), duration: ([0-9:.]+))");
    const std::regex segment(R"(type: segment.*start=\(guint64\)(\d+))");
    const std::regex caps(R"(fakesink0\.GstPad:sink: caps = video/x-raw.*width=\(int\)(\d+), height=\(int\)(\d+).*framerate=\(fraction\)(\d+/\d+))");
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, chain)) {
            ++view.frames;
            end = Nanoseconds(m[1]) + Nanoseconds(m[2]);
        } else if (segmentStart < 0 && std::regex_search(line, m, segment)) {
            segmentStart = std::stoll(m[1]);
        } else if (std::regex_search(line, m, caps)) {
            view.caps = std::string(m[1]) + "x" + std::string(m[2]) + " " + std::string(m[3]);
        }
    }
    if (segmentStart >= 0 && end >= 0) view.durationNs = end - segmentStart;
    return view;
}

double MeanDifference(const RgbPicture& a, const RgbPicture& b)
{
    if (a.rgb.size() != b.rgb.size() || a.rgb.empty()) return 1e9;
    double sum = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int{a.rgb[i]} - int{b.rgb[i]});
    return sum / static_cast<double>(a.rgb.size());
}

}  // namespace qv::test

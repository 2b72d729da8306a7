#include "support/avi_test_files.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include <unistd.h>

namespace qv::test {

int RunCommand(const std::string& command)
{
    const int status = std::system(command.c_str());
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FfmpegFixture(const std::string& name, const std::string& source, const std::string& args)
{
    const std::string command = "-f lavfi -i " + source + " " + args;
    uint64_t digest = 1469598103934665603ull;  // FNV-1a: stable across runs and builds
    for (char c : command) digest = (digest ^ uint8_t(c)) * 1099511628211ull;
    char prefix[20];
    std::snprintf(prefix, sizeof(prefix), "%016llx_", static_cast<unsigned long long>(digest));
    std::error_code ec;
    std::filesystem::create_directories("video-fixtures", ec);
    const std::string path = (std::filesystem::absolute("video-fixtures") / (prefix + name)).string();
    if (std::filesystem::exists(path)) return path;
    // Made under a private name and renamed, so parallel runs never see half a file.
    const std::string temporary = path + ".part" + std::to_string(getpid()) + std::filesystem::path(name).extension().string();
    if (RunCommand("ffmpeg -nostdin -v error -y " + command + " '" + temporary + "'") != 0) {
        std::filesystem::remove(temporary, ec);
        return std::string();
    }
    std::filesystem::rename(temporary, path, ec);
    return ec ? std::string() : path;
}

std::string FfprobeStreamField(const std::string& path, const std::string& field)
{
    std::string out = ShellOutput("ffprobe -v error -select_streams v:0 -show_entries stream=" + field +
                              " -of default=noprint_wrappers=1:nokey=1 '" + path + "'");
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

DecodedVideo FfmpegDecode(const std::string& path)
{
    DecodedVideo video;
    video.width = std::atoi(FfprobeStreamField(path, "width").c_str());
    video.height = std::atoi(FfprobeStreamField(path, "height").c_str());
    if (video.width <= 0 || video.height <= 0) return video;
    static int calls = 0;
    const std::string raw = (std::filesystem::temp_directory_path() /
                             ("qv-decoded-" + std::to_string(getpid()) + "-" + std::to_string(++calls) + ".bgr"))
                                .string();
    if (RunCommand("ffmpeg -nostdin -v error -y -i '" + path +
            "' -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" + raw + "'") != 0)
        return video;
    const std::vector<uint8_t> bytes = ReadFileBytes(raw);
    std::remove(raw.c_str());
    const size_t frameBytes = size_t(video.width) * size_t(video.height) * 3;
    for (size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes)
        video.frames.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + frameBytes));
    return video;
}

std::vector<bool> FfprobeKeyFlags(const std::string& path)
{
    std::vector<bool> flags;
    std::istringstream lines(ShellOutput("ffprobe -v error -select_streams v:0 -show_entries packet=flags "
                                     "-of csv=p=0 '" + path + "'"));
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) flags.push_back(line[0] == 'K');
    return flags;
}

BitmapHandle MakePattern(int32_t width, int32_t height, int32_t depth, uint32_t seed, bool shiftColours)
{
    const uint32_t shift = shiftColours ? seed : 0;
    BitmapHandle bitmap(CreateHostBitmap(width, height, depth));
    if (!bitmap) return bitmap;
    uint8_t* bits = GetHostBitmapBits(bitmap.get());
    const int32_t stride = GetHostBitmapStride(bitmap.get());
    const int32_t squareX = int32_t((seed * 7u) % uint32_t(width));
    const int32_t squareY = int32_t((seed * 5u) % uint32_t(height));
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bits + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < width; ++x) {
            uint8_t b = uint8_t(x * 255 / width + shift * 3);
            uint8_t g = uint8_t(y * 255 / height);
            uint8_t r = uint8_t((x + y) * 2 + shift * 11);
            if (x >= squareX && x < squareX + width / 4 && y >= squareY && y < squareY + height / 4) {
                b = uint8_t(255 - b);
                g = 40;
                r = 220;
            }
            if (depth == 24) {
                row[x * 3] = b, row[x * 3 + 1] = g, row[x * 3 + 2] = r;
            } else if (depth == 32) {
                row[x * 4] = b, row[x * 4 + 1] = g, row[x * 4 + 2] = r, row[x * 4 + 3] = 0;
            } else if (depth == 16) {
                const uint16_t word = uint16_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3));
                row[x * 2] = uint8_t(word), row[x * 2 + 1] = uint8_t(word >> 8);
            }
        }
    }
    return bitmap;
}

BitmapHandle MakeFilled(int32_t width, int32_t height, int32_t depth, uint8_t value)
{
    BitmapHandle bitmap(CreateHostBitmap(width, height, depth));
    if (bitmap)
        std::memset(GetHostBitmapBits(bitmap.get()), value,
                    size_t(GetHostBitmapStride(bitmap.get())) * size_t(height));
    return bitmap;
}

std::vector<uint8_t> Bgr24Rows(HostBitmap* bitmap)
{
    const int32_t w = GetHostBitmapWidth(bitmap), h = GetHostBitmapHeight(bitmap);
    const int32_t depth = GetHostBitmapDepth(bitmap), stride = GetHostBitmapStride(bitmap);
    const uint8_t* bits = GetHostBitmapBits(bitmap);
    std::vector<uint8_t> out;
    out.reserve(size_t(w) * size_t(h) * 3);
    const int32_t step = depth / 8;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = bits + size_t(y) * size_t(stride) + size_t(x) * size_t(step);
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

std::vector<uint8_t> BottomUpDib(HostBitmap* bitmap)
{
    const int32_t h = GetHostBitmapHeight(bitmap), stride = GetHostBitmapStride(bitmap);
    const uint8_t* bits = GetHostBitmapBits(bitmap);
    std::vector<uint8_t> out;
    for (int32_t y = h - 1; y >= 0; --y)
        out.insert(out.end(), bits + size_t(y) * size_t(stride), bits + size_t(y + 1) * size_t(stride));
    return out;
}

namespace {
int32_t ChooseFixed(void* context, AVICOMPRESSOPTIONS* options)
{
    auto* choice = static_cast<FixedChoice*>(context);
    ++choice->calls;
    if (choice->cancel) return 0;
    options->fccType = Fcc("vids");
    options->fccHandler = choice->fccHandler;
    options->dwKeyFrameEvery = choice->keyFrameEvery;
    options->dwQuality = choice->quality;
    options->dwFlags = choice->flags;
    options->dwBytesPerSecond = choice->bytesPerSecond;
    return 1;
}
}  // namespace

WindowHandle MakeChooserWindow(FixedChoice* choice) { return WindowHandle(CreateHostWindow(ChooseFixed, choice)); }

uint32_t Fcc(const char* four)
{
    return uint32_t(uint8_t(four[0])) | uint32_t(uint8_t(four[1])) << 8 |
           uint32_t(uint8_t(four[2])) << 16 | uint32_t(uint8_t(four[3])) << 24;
}

uint32_t AviLayout::U32(const std::vector<uint8_t>& block, size_t at) const
{
    if (at + 4 > block.size()) return 0xDEADBEEF;
    return uint32_t(block[at]) | uint32_t(block[at + 1]) << 8 | uint32_t(block[at + 2]) << 16 |
           uint32_t(block[at + 3]) << 24;
}

namespace {
uint32_t Get32(const std::vector<uint8_t>& f, uint64_t at)
{
    return uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 |
           uint32_t(f[at + 3]) << 24;
}

// Walks the chunks between begin and end, descending into LIST chunks.
bool Walk(const std::vector<uint8_t>& f, uint64_t begin, uint64_t end, AviLayout* out)
{
    uint64_t at = begin;
    while (at + 8 <= end) {
        const uint32_t id = Get32(f, at);
        const uint32_t size = Get32(f, at + 4);
        if (at + 8 + size > end) return false;
        if (id == Fcc("LIST")) {
            const uint32_t type = Get32(f, at + 8);
            if (type == Fcc("movi")) {
                out->moviTypeOffset = at + 8;
                out->moviListSize = size;
                uint64_t c = at + 12;
                while (c + 8 <= at + 8 + size) {
                    const uint32_t cs = Get32(f, c + 4);
                    out->moviChunks.push_back({Get32(f, c), c, cs});
                    c += 8 + cs + (cs & 1);
                }
                if (c != at + 8 + size) return false;
            } else if (!Walk(f, at + 12, at + 8 + size, out)) {
                return false;
            }
        } else {
            std::vector<uint8_t> body(f.begin() + long(at + 8), f.begin() + long(at + 8 + size));
            if (id == Fcc("avih")) out->avih = body;
            if (id == Fcc("strh") && out->strh.empty()) out->strh = body;
            if (id == Fcc("strf") && out->strf.empty()) out->strf = body;
            if (id == Fcc("idx1"))
                for (size_t i = 0; i + 16 <= body.size(); i += 16)
                    out->index.push_back({Get32(body, i), Get32(body, i + 4), Get32(body, i + 8),
                                          Get32(body, i + 12)});
        }
        at += 8 + size + (size & 1);
    }
    return at == end;
}
}  // namespace

AviLayout ParseAvi(const std::vector<uint8_t>& f)
{
    AviLayout layout;
    if (f.size() < 12 || Get32(f, 0) != Fcc("RIFF") || Get32(f, 8) != Fcc("AVI ")) return layout;
    layout.riffSize = Get32(f, 4);
    if (uint64_t(layout.riffSize) + 8 != f.size()) return layout;
    layout.valid = Walk(f, 12, f.size(), &layout);
    return layout;
}

}  // namespace qv::test

#include "output_files.h"

#include <quorvane/quorvane.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "cli_error.h"
#include "interrupt.h"

namespace qvcli {

namespace {

std::optional<OutputTarget> TargetByExtension(const std::string& path)
{
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    OutputTarget target;
    target.path = path;
    if (ext == ".gif") target.kind = OutputKind::Gif;
    else if (ext == ".avi") target.kind = OutputKind::Avi;
    else if (ext == ".mp4") { target.kind = OutputKind::Video; target.video = VideoFormat::Mp4; }
    else if (ext == ".webm") { target.kind = OutputKind::Video; target.video = VideoFormat::WebM; }
    else if (ext == ".webp") { target.kind = OutputKind::Video; target.video = VideoFormat::WebP; }
    else if (ext == ".apng") { target.kind = OutputKind::Video; target.video = VideoFormat::Apng; }
    else if (ext == ".png") { target.kind = OutputKind::Still; target.stillFormat = QV_FORMAT_PNG; }
    else if (ext == ".jpg" || ext == ".jpeg") { target.kind = OutputKind::Still; target.stillFormat = QV_FORMAT_JPEG; }
    else if (ext == ".tif" || ext == ".tiff") { target.kind = OutputKind::Still; target.stillFormat = QV_FORMAT_TIFF; }
    else return std::nullopt;
    return target;
}

}  // namespace

OutputTarget ClassifyOutput(const std::string& path)
{
    if (const auto target = TargetByExtension(path)) return *target;
    throw UsageError("cannot tell what to write from the name '" + path +
                     "': use .gif, .avi, .mp4, .webm, .webp, .apng, or .png/.jpg/.tif for numbered stills");
}

OutputTarget ClassifyPicture(const std::string& path)
{
    const auto target = TargetByExtension(path);
    if (!target || target->kind != OutputKind::Still)
        throw UsageError("cannot save a picture as '" + path + "': name it .png, .jpg or .tif");
    return *target;
}

namespace {

// Finds the one frame-number field; returns its position and length.
bool FindField(const std::string& pattern, std::size_t& at, std::size_t& length, int& width)
{
    bool found = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') continue;
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') { ++i; continue; }
        std::size_t j = i + 1;
        int w = 0;
        while (j < pattern.size() && pattern[j] >= '0' && pattern[j] <= '9' && j - i <= 2) w = w * 10 + (pattern[j++] - '0');
        if (j >= pattern.size() || pattern[j] != 'd' || found)
            throw UsageError("'" + pattern + "': the only '%' fields allowed are one frame number (%d or %04d) and %%");
        found = true;
        at = i;
        length = j + 1 - i;
        width = w;
        i = j;
    }
    return found;
}

}  // namespace

bool HasFrameNumberField(const std::string& pattern)
{
    std::size_t at = 0, length = 0;
    int width = 0;
    return FindField(pattern, at, length, width);
}

std::string FrameFileName(const std::string& pattern, int frame)
{
    std::size_t at = 0, length = 0;
    int width = 0;
    const bool field = FindField(pattern, at, length, width);
    std::string number = std::to_string(frame);
    if (number.size() < static_cast<std::size_t>(width)) number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
    std::string name;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (field && i == at) {
            name += number;
            i += length - 1;
        } else if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == '%') {
            name += '%';
            ++i;
        } else {
            name += pattern[i];
        }
    }
    return name;
}

bool MatchesFrameFileName(const std::string& pattern, std::string_view name)
{
    std::size_t at = 0, length = 0;
    int width = 0;
    if (!FindField(pattern, at, length, width)) return name == FrameFileName(pattern, 0);
    const std::string prefix = FrameFileName(pattern.substr(0, at), 0);
    const std::string suffix = FrameFileName(pattern.substr(at + length), 0);
    if (name.size() < prefix.size() + suffix.size() + std::max<std::size_t>(1, static_cast<std::size_t>(width)))
        return false;
    if (name.substr(0, prefix.size()) != prefix || name.substr(name.size() - suffix.size()) != suffix) return false;
    const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

PendingFile::PendingFile(std::string finalPath) : final_(std::move(finalPath))
{
    const std::filesystem::path p(final_);
    // Built by appending: GCC 12 misreports "literal" + std::string at -O3.
    std::string name = ".";
    name += p.filename().string();
    name += ".partial-";
    name += std::to_string(getpid());
    temporary_ = (p.parent_path() / name).string();
    TrackTemporaryFile(temporary_);
}

PendingFile::~PendingFile()
{
    if (!committed_) std::remove(temporary_.c_str());
    UntrackTemporaryFile(temporary_);
}

void PendingFile::Commit()
{
    if (std::rename(temporary_.c_str(), final_.c_str()) != 0)
        throw CliError("cannot write '" + final_ + "': " + std::strerror(errno));
    committed_ = true;
    UntrackTemporaryFile(temporary_);
}

OutputFolder::OutputFolder(const std::string& filePath)
{
    namespace fs = std::filesystem;
    std::vector<fs::path> missing;
    std::error_code ec;
    for (fs::path dir = fs::path(filePath).parent_path(); !dir.empty() && !fs::exists(dir, ec); dir = dir.parent_path()) {
        missing.push_back(dir);
        if (dir == dir.parent_path()) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!fs::create_directory(*it, ec)) return;
        created_.push_back(it->string());
    }
}

OutputFolder::~OutputFolder()
{
    std::error_code ec;
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
        if (!std::filesystem::remove(*it, ec)) return;  // not empty, or gone
}

std::string WhyNotWritable(const std::string& path)
{
    const std::filesystem::path p(path);
    const std::filesystem::path dir = p.parent_path().empty() ? std::filesystem::path(".") : p.parent_path();
    std::error_code ec;
    if (!std::filesystem::exists(dir, ec)) return "no such directory '" + dir.string() + "'";
    if (!std::filesystem::is_directory(dir, ec)) return std::string("'").append(dir.string()).append("' is not a directory");
    if (std::filesystem::is_directory(p, ec)) return "it is a directory";
    if (access(dir.c_str(), W_OK) != 0) return "the directory '" + dir.string() + "' is not writable";
    if (std::filesystem::exists(p, ec) && access(p.c_str(), W_OK) != 0) return "the file is not writable";
    return "the file cannot be created";
}

}  // namespace qvcli

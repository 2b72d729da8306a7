#include "clip_input.h"

#include "video_file_check.h"

#include <FreeImage.h>
#include <quorvane/quorvane.h>

#include <cctype>
#include <filesystem>

#include "cli_error.h"

namespace qvcli {

int ClipFrameFor(int frame, int frames, int length)
{
    return static_cast<int>(int64_t{frame} * length / frames);
}

bool IsWholeClip(const std::string& name)
{
    if (ParseVideoFrameName(name)) return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(name, ec)) return false;
    if (FreeImage_GetFileType(name.c_str(), 0) != FIF_UNKNOWN || FreeImage_GetFIFFromFilename(name.c_str()) != FIF_UNKNOWN)
        return false;
    // Neither FreeImage's content check nor its names claim it: a clip when
    // FFmpeg's probe knows it, or when its name says video (so that a
    // damaged clip is reported as a video); anything else is a picture that
    // cannot be read, and is reported as one.
    try {
        CheckVideoFile(name);
        return true;
    } catch (const CliError&) {
    }
    std::string ext = std::filesystem::path(name).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* video : {".avi", ".mp4", ".m4v", ".mkv", ".webm", ".mov", ".mpg", ".mpeg", ".wmv", ".flv", ".ogv"})
        if (ext == video) return true;
    return false;
}

int ClipLength(const std::string& path)
{
    // Through the same reader as single frames ("clip.avi#12").
    CheckVideoFile(path);
    int32_t width = 0, height = 0, length = 0;
    float rate = 0;
    const int32_t info = GetAVIinfo(path.c_str(), &width, &height, &rate, &length);
    if (info == 1) throw CliError("cannot read video '" + path + "': it has no video stream");
    if (info != 0) throw CliError("cannot read video '" + path + "': its video format is unreadable");
    if (length < 1) throw CliError("cannot read video '" + path + "': it holds no frames");
    return length;
}

MorphInput MorphInput::Open(const std::string& name, uint32_t backgroundRgb)
{
    MorphInput input;
    input.name_ = name;
    input.background_ = backgroundRgb;
    if (IsWholeClip(name)) {
        input.length_ = ClipLength(name);
        // The first frame, read now, gives the size and shows the clip decodes.
        input.still_ = std::make_shared<const InputPicture>(InputPicture::Open(name + "#0", backgroundRgb));
    } else {
        input.still_ = std::make_shared<const InputPicture>(InputPicture::Open(name, backgroundRgb));
    }
    input.size_ = input.still_->size();
    return input;
}

void MorphInput::PrepareFor(Size2 size, FitMode fit)
{
    outputSize_ = size;
    fit_ = fit;
    stillHost_ = std::make_shared<const HostPicture>(FitPicture(*still_, size, fit, background_));
}

std::shared_ptr<const HostPicture> MorphInput::PictureFor(int frame, int frames) const
{
    const int index = length_ ? ClipFrameFor(frame, frames, *length_) : 0;
    if (index == 0) return stillHost_;
    const InputPicture picture = InputPicture::Open(name_ + "#" + std::to_string(index), background_);
    if (picture.size() != size_)
        throw CliError("frame " + std::to_string(index) + " of '" + name_ + "' is not the size of its first frame");
    return std::make_shared<const HostPicture>(FitPicture(picture, outputSize_, fit_, background_));
}

}  // namespace qvcli

// A morph input that may be a whole clip: frame i of a morph of N frames
// takes frame floor(i * length / N) of the clip, so a clip as long as the
// morph gives its frames one for one, a longer one is sampled evenly and a
// shorter one holds each frame. A still picture stands for every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli_options.h"
#include "host_picture.h"
#include "picture_fit.h"
#include "picture_loading.h"

namespace qvcli {

// The frame of a clip of `length` frames that morph frame `frame` of
// `frames` shows: floor(frame * length / frames).
int ClipFrameFor(int frame, int frames, int length);

// Whether `name` names a whole clip rather than a picture or one frame
// ("clip.avi#12"): an existing file that no picture reader claims.
bool IsWholeClip(const std::string& name);

// The number of frames of the clip. Throws CliError naming it when it
// cannot be read as a video.
int ClipLength(const std::string& path);

class MorphInput {
public:
    // Throws CliError naming the file when it cannot be read.
    static MorphInput Open(const std::string& name, uint32_t backgroundRgb);

    const std::string& name() const { return name_; }
    Size2 size() const { return size_; }
    // Frames of the clip; nullopt for a still picture.
    std::optional<int> length() const { return length_; }

    // A still picture, or the clip's first frame.
    const InputPicture& first() const { return *still_; }

    // Readies the input for PictureFor at the output size, placed as `fit` says.
    void PrepareFor(Size2 size, FitMode fit);
    // The picture for morph frame `frame` of `frames`, at the prepared size.
    // May be called from several threads at once. Throws CliError.
    std::shared_ptr<const HostPicture> PictureFor(int frame, int frames) const;

private:
    std::string name_;
    uint32_t background_ = 0;
    Size2 size_;
    std::optional<int> length_;
    std::shared_ptr<const InputPicture> still_;  // a still picture, or the clip's first frame
    Size2 outputSize_;
    FitMode fit_ = FitMode::Stretch;
    std::shared_ptr<const HostPicture> stillHost_;  // still_ at outputSize_
};

}  // namespace qvcli

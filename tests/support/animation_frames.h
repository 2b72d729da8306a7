// Every frame of an animation or video, decoded by tools outside the
// project: FFmpeg, ImageMagick (frames laid over each other as shown) and
// GStreamer (an independent demuxer).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_run.h"

namespace qv::test {

std::vector<RgbPicture> FramesWithFfmpeg(const std::filesystem::path& file, int width, int height);
std::vector<RgbPicture> FramesWithImageMagick(const std::filesystem::path& file, int width, int height);

struct GStreamerView {
    int frames = 0;  // decoded buffers
    std::string caps;  // "40x30 12/1" from the negotiated raw video caps
    int64_t durationNs = -1;  // from the segment start to the end of the last frame
};
GStreamerView DecodeWithGStreamer(const std::filesystem::path& file);

// Mean absolute difference of two pictures' channel values.
double MeanDifference(const RgbPicture& a, const RgbPicture& b);

}  // namespace qv::test

// Small pieces shared by the FFmpeg-based halves of the video service.
#pragma once

namespace qv::vsvc {

// The library reports failures only through result codes. FFmpeg prints
// warnings at its default level; lower it to quiet, unless the host has
// chosen a level of its own.
void QuietFfmpegLog();

}  // namespace qv::vsvc

// The command's first look at a file named as a video input (quorvane info,
// quorvane frame, "clip.mp4#12"): the library's reader takes every container
// FFmpeg demuxes (AVI, MP4, MKV, WebM, MOV, ...), so the command asks
// FFmpeg's own probe what the file is rather than judging by its name.
#pragma once

#include <string>

namespace qvcli {

// Throws CliError naming `path` when it does not exist, cannot be opened, is
// not a container FFmpeg recognises, or is a still picture (which FFmpeg
// would read as a one-frame video, and which belongs in a picture argument).
void CheckVideoFile(const std::string& path);

}  // namespace qvcli

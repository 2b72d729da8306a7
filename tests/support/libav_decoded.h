// FFmpeg's decoding of a video file, done in the test process with
// libavcodec and converted to bgr24 as FFmpeg's own tools convert (into
// frames that FFmpeg allocates itself), for comparing the library's frames
// column by column without running the ffmpeg command for every file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Every frame of the first video stream in decoding order, as packed
// top-down bgr24 rows of width * 3 bytes; empty when the file cannot be read.
std::vector<std::vector<uint8_t>> LibavDecodeBgr24(const std::string& path);

}  // namespace qv::test

// Running the quorvane command from tests, and reading what it wrote with
// tools that are not part of the project (ImageMagick, FFmpeg).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/scratch_files.h"
#include "support/shell_run.h"

namespace qv::test {

struct CliResult {
    int status = -1;  // exit status; -1 when it did not exit normally
    std::string out, err;
};

// Runs `program args...` in `workDir` with stdin from /dev/null.
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::filesystem::path& workDir);


// An 8-bit RGB picture, rows from the top.
struct RgbPicture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    bool operator==(const RgbPicture&) const = default;
};

// Writes a binary PPM (P6) by hand.
void WritePpm(const std::filesystem::path& path, const RgbPicture& picture);
// Decodes a picture (or "file.gif[3]") with ImageMagick; empty on failure.
RgbPicture ReadWithImageMagick(const std::string& picture);
// Decodes frame `index` of a video with FFmpeg; empty on failure.
RgbPicture ReadVideoFrameWithFfmpeg(const std::filesystem::path& video, int index, int width, int height);

// Lines of `identify -format FORMAT FILE`.
std::vector<std::string> Identify(const std::string& format, const std::filesystem::path& file);

}  // namespace qv::test

#include "video_file_check.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "cli_error.h"

namespace qvcli {

namespace {

// FFmpeg reads single pictures through its image demuxers: "image2" for
// named files and one "<format>_pipe" demuxer per picture format.
bool IsStillPictureDemuxer(std::string_view name)
{
    return name == "image2" || (name.size() > 5 && name.substr(name.size() - 5) == "_pipe");
}

}  // namespace

void CheckVideoFile(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) throw CliError("cannot read video '" + path + "': no such file");
    if (std::filesystem::is_directory(path, ec)) throw CliError("cannot read video '" + path + "': it is a directory");
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) throw CliError("cannot read video '" + path + "': " + std::strerror(errno));
    }
    // The command reports failures itself; FFmpeg's own warnings would only
    // add noise (the library quiets them the same way).
    if (av_log_get_level() == AV_LOG_INFO) av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0)
        throw CliError("cannot read video '" + path + "': not a video file FFmpeg knows");
    const bool still = IsStillPictureDemuxer(format->iformat->name);
    avformat_close_input(&format);
    if (still) throw CliError("cannot read video '" + path + "': it is a still picture, not a video");
}

}  // namespace qvcli

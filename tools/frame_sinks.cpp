#include "frame_sinks.h"

#include <unistd.h>

#include <filesystem>

#include "cli_error.h"

namespace qvcli {

void CheckReplaceable(const std::string& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw CliError("cannot write '" + path + "': it is a directory");
    if (std::filesystem::exists(path, ec) && access(path.c_str(), W_OK) != 0)
        throw CliError("cannot write '" + path + "': the file is not writable");
}

std::unique_ptr<FrameSink> OpenFrameSink(const SinkOptions& options)
{
    switch (options.target.kind) {
    case OutputKind::Gif: return options.libraryGifWriter ? OpenGifSink(options) : OpenCompactGifSink(options);
    case OutputKind::Avi: return OpenAviSink(options);
    case OutputKind::Still: return OpenStillSink(options);
    case OutputKind::Video: return OpenVideoSink(options);
    }
    return nullptr;
}

}  // namespace qvcli

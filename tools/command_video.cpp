// quorvane info VIDEO, quorvane frame VIDEO N OUT [--zoom Z], quorvane codecs
#include <quorvane/quorvane.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "cli_error.h"
#include "commands.h"
#include "compressor_choice.h"
#include "frame_sinks.h"
#include "picture_loading.h"
#include "video_file_check.h"

namespace qvcli {

namespace {

const char* const kInfoUsage = R"(usage: quorvane info VIDEO

Prints the frame size, frame rate and length of the first video stream of
a video file: AVI, MP4, MKV, WebM, MOV or any other container FFmpeg reads.
)";

const char* const kFrameUsage = R"(usage: quorvane frame VIDEO N OUT [--zoom Z]

Saves frame N (counted from 0) of a video file (AVI, MP4, MKV, WebM, MOV,
...) as a picture: OUT is .png, .jpg or .tif.

  --zoom Z   scale the frame by Z (default 1), dropping or repeating pixels
)";

const char* const kCodecsUsage = R"(usage: quorvane codecs

Lists the compressors that quorvane morph --codec can write AVI files with.
)";

}  // namespace

int RunInfoCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "info", {});
    if (args.help) {
        std::printf("%s", kInfoUsage);
        return kExitOk;
    }
    if (args.positional.size() != 1) throw UsageError("info needs one video file (see quorvane info --help)");
    const VideoInfo info = ReadVideoInfo(args.positional[0]);
    const int height = info.height < 0 ? -info.height : info.height;
    std::printf("%s: %dx%d, %g frames per second, %d frames", args.positional[0].c_str(), info.width, height,
                static_cast<double>(info.rate), info.length);
    if (info.rate > 0 && std::isfinite(info.rate)) std::printf(" (%.2f s)", info.length / static_cast<double>(info.rate));
    std::printf("\n");
    return kExitOk;
}

int RunFrameCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "frame", {{"zoom", true}});
    if (args.help) {
        std::printf("%s", kFrameUsage);
        return kExitOk;
    }
    if (args.positional.size() != 3) throw UsageError("frame needs VIDEO N OUT (see quorvane frame --help)");
    const std::string& path = args.positional[0];
    const std::string& out = args.positional[2];
    const int frame = static_cast<int>(ParseInteger(args.positional[1], "the frame number", 0, INT32_MAX));
    const double zoom = args.value("zoom") ? ParseNumber(*args.value("zoom"), "--zoom", 0.01, 16.0) : 1.0;
    ClassifyPicture(out);

    const VideoInfo info = ReadVideoInfo(path);
    if (frame >= info.length)
        throw CliError("'" + path + "' has frames 0 to " + std::to_string(info.length - 1) + ", not " +
                       std::to_string(frame));
    const int height = info.height < 0 ? -info.height : info.height;
    // The library draws w x zoom by h x zoom, each truncated.
    const float z = static_cast<float>(zoom);
    const double w = std::trunc(info.width * static_cast<double>(z)), h = std::trunc(height * static_cast<double>(z));
    if (w < 1 || h < 1 || w > 16384 || h > 16384)
        throw UsageError("--zoom " + *args.value("zoom") + " makes the frame " + std::to_string(int64_t(w)) + "x" +
                         std::to_string(int64_t(h)) + "; it must be 1 to 16384 pixels a side");
    HostPicture picture(static_cast<int>(w), static_cast<int>(h));
    const int32_t drawn = GetAVIframe(picture.dc(), path.c_str(), frame, zoom == 1.0 ? 1.0f : z);
    if (drawn != 0)
        throw CliError("cannot read frame " + std::to_string(frame) + " of '" + path + "': " +
                       (drawn == 3 ? "no decoder for its compressor"
                                   : drawn == 4 ? "the frame cannot be decoded" : "the frame cannot be drawn"));
    SavePicture(picture, out);
    std::printf("wrote frame %d of %s (%dx%d) to %s\n", frame, path.c_str(), picture.width(), picture.height(),
                out.c_str());
    return kExitOk;
}

int RunCodecsCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "codecs", {});
    if (args.help) {
        std::printf("%s", kCodecsUsage);
        return kExitOk;
    }
    if (!args.positional.empty()) throw UsageError("codecs takes no arguments");
    std::printf("Compressors for quorvane morph --codec NAME:\n%s  ask   choose from this list when writing\n",
                CompressorListText().c_str());
    return kExitOk;
}

}  // namespace qvcli

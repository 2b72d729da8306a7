// Frame writers: each takes rendered frames in order and leaves complete
// files behind, or none (a half-written file is removed, never renamed into
// place). Opening checks the output before any frame is rendered.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli_options.h"
#include "compressor_choice.h"
#include "host_picture.h"
#include "output_files.h"

namespace qvcli {

struct SinkOptions {
    OutputTarget target;
    Size2 size;
    int frameRate = 1500;        // hundredths of a frame per second
    int loopCount = 0;           // GIF, WebP, APNG: 0 loops for ever
    CompressorRequest compressor;  // AVI
    std::optional<int> quality;  // JPEG stills: 1..100; MP4, WebM, WebP: 0..100
    int keyFrameEvery = 0;       // MP4, WebM: 0 lets the encoder decide
    int threads = 0;             // MP4, WebM encoder threads: 0 one per core
    bool libraryGifWriter = false;  // GIF through the library's own writer
    int frameTotal = 1;          // frames this sink will receive
    int firstFrame = 0;          // the first of them (stills are numbered from it)
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Throws CliError naming the file when the frame cannot be written.
    // `frame` is a rendered frame, or what Preparation made of one.
    virtual void Write(int frameIndex, const HostPicture& frame) = 0;
    // Work on a rendered frame that may run on any thread, several frames at
    // once, before the frame reaches Write. Empty: none.
    virtual std::function<HostPicture(const HostPicture& frame)> Preparation() const { return {}; }
    // Completes the output. Throws CliError when it is not complete.
    virtual void Finish() = 0;
    // "quorvane-demo.gif" or "frames/frame_0000.png ... frame_0029.png".
    virtual std::string Written() const = 0;
};

std::unique_ptr<FrameSink> OpenGifSink(const SinkOptions& options);
std::unique_ptr<FrameSink> OpenAviSink(const SinkOptions& options);
std::unique_ptr<FrameSink> OpenStillSink(const SinkOptions& options);
std::unique_ptr<FrameSink> OpenCompactGifSink(const SinkOptions& options);
std::unique_ptr<FrameSink> OpenVideoSink(const SinkOptions& options);
std::unique_ptr<FrameSink> OpenFrameSink(const SinkOptions& options);

// Saves one picture as .png, .jpg or .tif by its name. Throws CliError.
void SavePicture(const HostPicture& picture, const std::string& path);

// An existing file that may not be replaced: throws CliError naming it.
void CheckReplaceable(const std::string& path);

}  // namespace qvcli

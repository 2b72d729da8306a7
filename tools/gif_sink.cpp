// Animated GIF output through the library's GIF writer.
#include <quorvane/quorvane.h>

#include <filesystem>

#include "cli_error.h"
#include "frame_sinks.h"
#include "gif_frame_quantiser.h"

namespace qvcli {

namespace {

// The library's GIF writer does not report failed writes, so the finished
// file is measured against the size its fixed layout gives: a 32-byte
// header, per frame 18 + 768 bytes of descriptor and palette, the code size
// byte, 9-bit codes (a clear code after every 254 pixels, one end code) in
// sub-blocks of 255 bytes, and a terminator; then the trailer.
uintmax_t ExpectedGifSize(Size2 size, int frames)
{
    const uintmax_t pixels = uintmax_t(size.width) * uintmax_t(size.height);
    const uintmax_t codes = pixels + pixels / 254 + 1;
    const uintmax_t data = (codes * 9 + 7) / 8;
    const uintmax_t frameBytes = 18 + 768 + 1 + data + (data + 254) / 255 + 1;
    return 32 + frameBytes * uintmax_t(frames) + 1;
}

// What each result of the writer's Start and frame calls means to a user.
std::string StartFailure(int32_t result, const std::string& path)
{
    switch (result) {
    case 2: return WhyNotWritable(path);
    case 3: return "the GIF writer could not make its picture (no memory)";
    case 4: return "the GIF header could not be written (disk full?)";
    default: return "no memory for the GIF writer";
    }
}

std::string FrameFailure(int32_t result)
{
    switch (result) {
    case 2: return "the frame could not be reduced to 256 colours";
    case 3: return "the reduced frame has no colour table";
    case 4: return "the frame could not be written in full (disk full?)";
    default: return "the GIF writer is not open";
    }
}

class GifSink final : public FrameSink {
public:
    explicit GifSink(const SinkOptions& options) : options_(options), file_(options.target.path)
    {
        CheckReplaceable(options.target.path);
        // Frames arrive reduced to 256 colours (Preparation), and the writer
        // stores their palettes and indices as they are.
        const int32_t started = RenderAnimatedGIFStart(file_.temporaryPath().c_str(), options.size.width,
                                                       options.size.height, 8, options.frameRate,
                                                       options.loopCount, &writer_);
        if (started == 0) return;
        if (started != 1) RenderAnimatedGIFEnd(writer_);
        writer_ = nullptr;
        throw CliError("cannot write '" + options.target.path + "': " + StartFailure(started, options.target.path));
    }

    ~GifSink() override
    {
        if (writer_ != nullptr) RenderAnimatedGIFEnd(writer_);
    }

    std::function<HostPicture(const HostPicture& frame)> Preparation() const override { return QuantiseForGif; }

    void Write(int frameIndex, const HostPicture& frame) override
    {
        if (GetHostBitmapDepth(frame.bitmap()) != 8) {
            Write(frameIndex, QuantiseForGif(frame));
            return;
        }
        const int32_t result = RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer_);
        if (result != 0)
            throw CliError("cannot write frame " + std::to_string(frameIndex) + " to '" + options_.target.path +
                           "': " + FrameFailure(result));
        ++frames_;
    }

    void Finish() override
    {
        RenderAnimatedGIFEnd(writer_);
        writer_ = nullptr;
        std::error_code ec;
        const uintmax_t size = std::filesystem::file_size(file_.temporaryPath(), ec);
        if (ec || size != ExpectedGifSize(options_.size, frames_))
            throw CliError("cannot write '" + options_.target.path + "': the file came out incomplete (disk full?)");
        file_.Commit();
    }

    std::string Written() const override { return options_.target.path; }

private:
    SinkOptions options_;
    PendingFile file_;
    GifWriter* writer_ = nullptr;
    int frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> OpenGifSink(const SinkOptions& options) { return std::make_unique<GifSink>(options); }

}  // namespace qvcli

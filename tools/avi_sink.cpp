// AVI output through the library's compressed video writer.
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "cli_error.h"
#include "frame_sinks.h"

namespace qvcli {

namespace {

std::string StartFailure(int32_t code, const SinkOptions& options)
{
    const std::string codec = options.compressor.ask ? "the chosen compressor" : "compressor " + FourCCText(options.compressor.fcc);
    switch (code) {
    case 1: return "no memory for the video writer";
    case 2: return WhyNotWritable(options.target.path);
    case 3: return "the video stream could not be created";
    case 4: return "the compressor choice was cancelled";
    case 5: return codec + " could not be opened";
    case 6:
        return codec + " does not take " + std::to_string(options.size.width) + "x" +
               std::to_string(options.size.height) + " frames (H264 needs even sizes, MSVC/CRAM and cvid multiples of 4)";
    case 7: return "no memory for the frame buffer";
    default: return "video writer result " + std::to_string(code);
    }
}

class AviSink final : public FrameSink {
public:
    explicit AviSink(const SinkOptions& options) : options_(options), file_(options.target.path)
    {
        CheckReplaceable(options.target.path);
        window_ = CreateHostWindow(ChooseCompressor, &options_.compressor);
        if (window_ == nullptr) throw CliError("no memory for the compressor chooser");
        AviWriter* writer = nullptr;
        const int32_t started = RenderCompressedStart(window_, file_.temporaryPath().c_str(), options.size.width,
                                                      options.size.height, 24, options.frameRate,
                                                      options.frameTotal, &writer);
        if (started != 1) writer_ = writer;
        if (started != 0) {
            Close();
            throw CliError("cannot write '" + options.target.path + "': " + StartFailure(started, options_));
        }
    }

    ~AviSink() override { Close(); }

    void Write(int frameIndex, const HostPicture& frame) override
    {
        const auto position = static_cast<uint32_t>(frameIndex - options_.firstFrame);
        if (RenderCompressed(frame.dc(), frame.bitmap(), position, writer_) != 0)
            throw CliError("cannot write frame " + std::to_string(frameIndex) + " to '" + options_.target.path +
                           "': the compressor or the disk refused it");
        ++frames_;
    }

    void Finish() override
    {
        Close();
        // The writer's end call reports nothing, so read the file back.
        int32_t width = 0, height = 0, length = 0;
        float rate = 0;
        if (GetAVIinfo(file_.temporaryPath().c_str(), &width, &height, &rate, &length) != 0 || length != frames_)
            throw CliError("cannot write '" + options_.target.path + "': the file came out incomplete (disk full?)");
        file_.Commit();
    }

    std::string Written() const override { return options_.target.path; }

private:
    void Close()
    {
        if (writer_ != nullptr) RenderCompressedEnd(writer_);
        writer_ = nullptr;
        if (window_ != nullptr) DeleteHostWindow(window_);
        window_ = nullptr;
    }

    SinkOptions options_;
    PendingFile file_;
    HostWindow* window_ = nullptr;
    AviWriter* writer_ = nullptr;
    int frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> OpenAviSink(const SinkOptions& options) { return std::make_unique<AviSink>(options); }

}  // namespace qvcli

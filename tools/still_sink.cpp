// Numbered still pictures through the library's still-image export.
#include <quorvane/quorvane.h>

#include <cstdio>

#include "cli_error.h"
#include "frame_sinks.h"
#include "stale_partial_files.h"

namespace qvcli {

namespace {

class StillSink final : public FrameSink {
public:
    explicit StillSink(const SinkOptions& options) : options_(options)
    {
        // Fail before rendering when the first file cannot be written.
        const std::string first = FrameFileName(options.target.path, options.firstFrame);
        CheckReplaceable(first);
        PendingFile probe(first);
        FILE* f = std::fopen(probe.temporaryPath().c_str(), "wb");
        if (f == nullptr) throw CliError("cannot write '" + first + "': " + WhyNotWritable(first));
        std::fclose(f);
    }

    void Write(int frameIndex, const HostPicture& frame) override
    {
        const std::string name = FrameFileName(options_.target.path, frameIndex);
        CheckReplaceable(name);
        PendingFile file(name);
        const int32_t flags = options_.target.stillFormat == QV_FORMAT_JPEG && options_.quality ? *options_.quality : 0;
        if (SaveToFreeImage(frame.dc(), frame.bitmap(), frame.width(), frame.height(), 32,
                            file.temporaryPath().c_str(), options_.target.stillFormat, flags) != 1)
            throw CliError("cannot write '" + name + "': " + WhyNotWritable(name));
        file.Commit();
        if (firstName_.empty()) firstName_ = name;
        lastName_ = name;
    }

    void Finish() override {}

    std::string Written() const override
    {
        if (firstName_ == lastName_) return firstName_;
        return firstName_ + " ... " + lastName_;
    }

private:
    SinkOptions options_;
    std::string firstName_, lastName_;
};

}  // namespace

void SavePicture(const HostPicture& picture, const std::string& path)
{
    const OutputTarget target = ClassifyPicture(path);
    CleanUpStalePartialFiles(path, false);
    OutputFolder folder(path);
    CheckReplaceable(path);
    PendingFile file(path);
    if (SaveToFreeImage(picture.dc(), picture.bitmap(), picture.width(), picture.height(), 32,
                        file.temporaryPath().c_str(), target.stillFormat, 0) != 1)
        throw CliError("cannot write '" + path + "': " + WhyNotWritable(path));
    file.Commit();
    folder.Keep();
}

std::unique_ptr<FrameSink> OpenStillSink(const SinkOptions& options) { return std::make_unique<StillSink>(options); }

}  // namespace qvcli

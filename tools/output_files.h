// Where frames go: the output kind chosen by the file name, numbered still
// names, and files that appear under their final name only when complete.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvcli {

enum class OutputKind { Gif, Avi, Still, Video };

// Formats written through FFmpeg's encoders and muxers.
enum class VideoFormat { None, Mp4, WebM, WebP, Apng };

struct OutputTarget {
    OutputKind kind = OutputKind::Gif;
    std::string path;      // as the user gave it (a pattern for stills)
    int stillFormat = 0;   // QV_FORMAT_PNG, _JPEG or _TIFF for stills
    VideoFormat video = VideoFormat::None;
};

// By extension: .gif, .avi, .mp4, .webm, .webp, .apng, .png, .jpg/.jpeg,
// .tif/.tiff (any case).
// Throws a UsageError for anything else.
OutputTarget ClassifyOutput(const std::string& path);
// The same for one picture: .png, .jpg/.jpeg or .tif/.tiff only.
OutputTarget ClassifyPicture(const std::string& path);

// Whether `pattern` holds one frame-number field (%d or %0Nd).
bool HasFrameNumberField(const std::string& pattern);
// The pattern with its field replaced by `frame`; "%%" stands for "%".
// Throws a UsageError for any other use of '%'.
std::string FrameFileName(const std::string& pattern, int frame);
// Whether `name` is the name of some frame of `pattern` (or, without a
// field, the pattern's own name).
bool MatchesFrameFileName(const std::string& pattern, std::string_view name);

// A file written under a temporary name next to its final name and renamed
// into place by Commit(); destroyed uncommitted, it removes what was written.
class PendingFile {
public:
    explicit PendingFile(std::string finalPath);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    const std::string& temporaryPath() const { return temporary_; }
    const std::string& finalPath() const { return final_; }
    // Throws CliError naming the final path when the rename fails.
    void Commit();

private:
    std::string final_, temporary_;
    bool committed_ = false;
};

// Creates the missing folders above an output file. Destroyed before Keep(),
// it removes those it created again, if they are still empty; a failure to
// create them is left for the output's own error message.
class OutputFolder {
public:
    explicit OutputFolder(const std::string& filePath);
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;
    void Keep() { created_.clear(); }

private:
    std::vector<std::string> created_;  // innermost last
};

// Why a file cannot be created at `path`, for messages ("permission denied",
// "no such directory '...'"), judged by trying to create it.
std::string WhyNotWritable(const std::string& path);

}  // namespace qvcli

// Input pictures: any file FreeImage reads, or one frame of a video given as
// "clip.avi#12" (or any other video the reader takes). Transparent parts are laid over a background colour; the
// picture can then be handed to the renderer at any size.
#pragma once

#include <FreeImage.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cli_options.h"
#include "host_picture.h"

namespace qvcli {

struct VideoFrameName {
    std::string path;
    int frame = 0;
};
// "clip.avi#12" names frame 12 of clip.avi, unless a file of that whole name
// exists.
std::optional<VideoFrameName> ParseVideoFrameName(const std::string& name);

// The first video stream's frame size (height negative for top-down
// frames), rate and length. Throws CliError naming `path` when unreadable.
struct VideoInfo {
    int32_t width = 0, height = 0, length = 0;
    float rate = 0;
};
VideoInfo ReadVideoInfo(const std::string& path);

// Frame `frame` of the video at `path`, at its own size; `name` labels
// messages ("clip.avi#12"). Throws CliError.
HostPicture ReadVideoFramePicture(const std::string& path, int frame, const std::string& name);

class InputPicture {
public:
    // Throws CliError naming the file when it cannot be read.
    static InputPicture Open(const std::string& name, uint32_t backgroundRgb);
    // A picture handed over in memory: `channels` 3 (RGB) or 4 (RGBA, laid
    // over the background like a picture file with alpha) bytes a pixel,
    // rows top first, `rowBytes` apart. Throws CliError for sizes the
    // command refuses in files, naming the picture by `name`.
    static InputPicture FromPixels(const std::string& name, int width, int height, int channels,
                                   const uint8_t* pixels, std::ptrdiff_t rowBytes, uint32_t backgroundRgb);

    const std::string& name() const { return name_; }
    Size2 size() const { return size_; }

    // The picture as a 32-bit host bitmap, scaled to `size` if that differs.
    HostPicture ToHost(Size2 size) const;

private:
    std::string name_;
    Size2 size_;
    std::unique_ptr<FIBITMAP, void (*)(FIBITMAP*)> bitmap_{nullptr, FreeImage_Unload};  // 24-bit
};

// Copies a host picture into a new 24-bit FreeImage bitmap.
FIBITMAP* HostToFreeImage(const HostPicture& picture);

}  // namespace qvcli

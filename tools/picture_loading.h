// Input pictures: any file FreeImage reads, or one frame of a video given as
// "clip.avi#12" (or any other video the reader takes). Transparent parts are laid over a background colour; the
// picture can then be handed to the renderer at any size.
#pragma once

#include <FreeImage.h>

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

class InputPicture {
public:
    // Throws CliError naming the file when it cannot be read.
    static InputPicture Open(const std::string& name, uint32_t backgroundRgb);

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

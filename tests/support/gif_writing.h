// Writing an animated GIF through the library's three GIF exports, the way
// a host does: Start, one frame call per picture, End. Header-only (public
// headers only), for the unit, command and host tests alike.
#pragma once

#include <gtest/gtest.h>

#include <quorvane/quorvane.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/host_picture.h"
#include "support/scratch_files.h"

namespace qv::test {

// One frame: a host bitmap and a device context that has it selected,
// shown for `hold` frame periods.
struct GifFrame {
    GifFrame(QvDC frameDC, QvBitmap frameBitmap, int32_t holdFrames = 1)
        : dc(frameDC), bitmap(frameBitmap), hold(holdFrames)
    {
    }
    GifFrame(const HostPicture& picture, int32_t holdFrames = 1)
        : dc(picture.dc()), bitmap(picture.bitmap()), hold(holdFrames)
    {
    }
    QvDC dc;
    QvBitmap bitmap;
    int32_t hold;
};

// Every call must succeed (a failure is reported to the running test);
// returns the bytes of the file written.
inline std::vector<uint8_t> WriteGifFile(const std::string& path, int32_t width, int32_t height, int32_t depth,
                                         int32_t rate, int32_t loop, const std::vector<GifFrame>& frames)
{
    GifWriter* writer = nullptr;
    EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), width, height, depth, rate, loop, &writer), 0);
    for (const GifFrame& frame : frames) {
        EXPECT_EQ(RenderAnimatedGIF(frame.dc, frame.bitmap, frame.hold, writer), 0);
    }
    RenderAnimatedGIFEnd(writer);
    return ReadFileBytes(path);
}

}  // namespace qv::test

// Frames laid out the way swscale needs them. Its vector code converts whole
// groups of pixels: with rows packed tightly it reads and writes past a
// row's last pixel (past the buffer's end on the last row), or, where the
// stride is too small for a whole group, leaves the last pixels of every row
// unconverted. FFmpeg's own frames have aligned, padded rows, so the video
// service converts only between such frames and copies packed rows to and
// from them itself.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace qv::vsvc {

// `*frame` made a writable frame of this format and size with FFmpeg's own
// alignment and padding; kept as it is when it already is one. False when
// there is no memory.
bool EnsurePaddedFrame(AVFrame** frame, AVPixelFormat format, int width, int height);

// Copies `rows` rows of `rowBytes` bytes between a bottom-up packed picture
// (row stride `packedStride`, its top row last in memory) and the top-down
// rows of plane 0 of `frame`.
void CopyBottomUpToFrame(const uint8_t* packed, uint32_t packedStride, AVFrame* frame, int rows,
                         uint32_t rowBytes);
// swscale reads RGB input for half-width chroma in pairs of pixels: the last
// pair of an odd-width row takes its second pixel from the row's padding,
// which would pull that column's colour toward black. Repeats each row's
// last pixel (of `bytesPerPixel` bytes) into the padding after it.
void RepeatLastColumn(AVFrame* frame, int bytesPerPixel);
void CopyFrameToBottomUp(const AVFrame* frame, uint8_t* packed, uint32_t packedStride, int rows,
                         uint32_t rowBytes);

}  // namespace qv::vsvc

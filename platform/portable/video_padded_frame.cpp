#include "platform/portable/video_padded_frame.h"

#include <cstring>

namespace qv::vsvc {

bool EnsurePaddedFrame(AVFrame** frame, AVPixelFormat format, int width, int height)
{
    AVFrame* f = *frame;
    if (f != nullptr && f->format == format && f->width == width && f->height == height &&
        f->buf[0] != nullptr)
        return av_frame_make_writable(f) >= 0;
    if (f == nullptr) {
        f = av_frame_alloc();
        if (f == nullptr) return false;
        *frame = f;
    }
    av_frame_unref(f);
    f->format = format;
    f->width = width;
    f->height = height;
    // Alignment 0: FFmpeg picks the widest its vector code for this CPU uses.
    return av_frame_get_buffer(f, 0) >= 0;
}

void CopyBottomUpToFrame(const uint8_t* packed, uint32_t packedStride, AVFrame* frame, int rows,
                         uint32_t rowBytes)
{
    for (int y = 0; y < rows; ++y)
        std::memcpy(frame->data[0] + size_t(y) * size_t(frame->linesize[0]),
                    packed + size_t(packedStride) * size_t(rows - 1 - y), rowBytes);
}

void RepeatLastColumn(AVFrame* frame, int bytesPerPixel)
{
    const size_t last = size_t(frame->width - 1) * size_t(bytesPerPixel);
    if (frame->width < 1 || size_t(frame->linesize[0]) < last + 2 * size_t(bytesPerPixel)) return;
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + size_t(y) * size_t(frame->linesize[0]);
        std::memcpy(row + last + size_t(bytesPerPixel), row + last, size_t(bytesPerPixel));
    }
}

void CopyFrameToBottomUp(const AVFrame* frame, uint8_t* packed, uint32_t packedStride, int rows,
                         uint32_t rowBytes)
{
    for (int y = 0; y < rows; ++y)
        std::memcpy(packed + size_t(packedStride) * size_t(rows - 1 - y),
                    frame->data[0] + size_t(y) * size_t(frame->linesize[0]), rowBytes);
}

}  // namespace qv::vsvc

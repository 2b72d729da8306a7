// The animated GIF writer: Start creates the file and the writer record,
// each frame call appends one frame read from a host picture, End writes
// the trailer and frees everything.
#pragma once

#include <cstdint>
#include <cstdio>

#include <quorvane/quorvane.h>

namespace qv::gif {

// GifWriter is the record behind the host's opaque handle; it is defined in
// gif_writer.cpp and nothing else looks inside. The exports admit only
// handles that the writer-handle registry (api/writer_handles.h) knows, so
// these functions trust the handle they are given. Results are the
// qv::result::kGif* codes.
int32_t StartWriter(const char* fileName, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t frameRate, uint16_t loopCount, GifWriter** writerOut);
int32_t WriteFrame(QvDC frameDC, QvBitmap frameBitmap, uint16_t holdFrames, GifWriter* writer);
void EndWriter(GifWriter* writer);

}  // namespace qv::gif

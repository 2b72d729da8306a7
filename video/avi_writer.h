// The compressed AVI writer: Start / frame / End over the video-file service.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

#include "platform/graphics.h"
#include "platform/video_service.h"

namespace qv::video {

// AviWriter is the record behind the host's opaque handle; it is defined in
// avi_writer.cpp and nothing else looks inside. The exports admit only
// handles that the writer-handle registry (api/writer_handles.h) knows, so
// these functions trust the handle they are given. Start's results are the
// qv::result::kAvi* codes.
int32_t StartAviWriter(QvWindow parentWindow, const char* fileName, int32_t width, int32_t height,
                       int32_t bitsPerPixel, int32_t frameRate, int32_t frameTotal,
                       AviWriter** writerOut);
// kAviFrameWritten, or kAviFrameNotWritten (also for a writer whose Start failed).
int32_t WriteAviFrame(QvDC frameDC, QvBitmap frameBitmap, uint32_t framePosition, AviWriter* writer);
// Releases what the record holds and frees it.
void EndAviWriter(AviWriter* writer);

// The frame layout for a size and depth: the stride of a padded row and the
// whole padded frame. False for depths other than 16, 24 and 32 and for sizes
// whose byte counts do not fit in 31 bits.
bool AviFrameLayout(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t* frameBytes,
                    uint32_t* suggestedBufferSize);

}  // namespace qv::video

// The animated GIF writer: Start creates the file and the writer record,
// each frame call appends one frame read from a host picture, End writes
// the trailer and frees everything.
#pragma once

#include <cstdint>
#include <cstdio>

#include <FreeImage.h>
#include <quorvane/quorvane.h>

// The record behind the host's opaque GifWriter handle.
struct GifWriter {
    uint32_t tag;  // qv::gif::kLiveWriterTag from Start until End
    std::FILE* file;
    uint16_t width;
    uint16_t height;
    int16_t bitsPerPixel;
    uint16_t frameDelay;  // hundredths of a second per frame period
    FIBITMAP* workBitmap;
};

namespace qv::gif {

inline constexpr uint32_t kLiveWriterTag = 0x46475651u;  // "QVGF"

enum StartResult : int32_t {
    kStartOk = 0,
    kStartNoRecord = 1,
    kStartFileNotOpened = 2,
    kStartNoWorkBitmap = 3,
    kStartHeaderNotWritten = 4,
};

enum FrameResult : int32_t {
    kFrameOk = 0,
    kFrameNoWriter = 1,
    kFrameNotQuantised = 2,
    kFrameNoPalette = 3,
    kFrameNotWritten = 4,
};

// True when `writer` points at a record made by Start and not yet ended.
// Reads only the record's first word, so any readable pointer is safe.
bool IsLiveWriter(const GifWriter* writer);

int32_t StartWriter(const char* fileName, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t frameRate, uint16_t loopCount, GifWriter** writerOut);
int32_t WriteFrame(QvDC frameDC, QvBitmap frameBitmap, uint16_t holdFrames, GifWriter* writer);
void EndWriter(GifWriter* writer);

}  // namespace qv::gif

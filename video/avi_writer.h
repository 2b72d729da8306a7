// The compressed AVI writer: Start / frame / End over the video-file service.
#pragma once

#include <cstdint>

#include "platform/graphics.h"
#include "platform/video_service.h"

namespace qv::video {

// Tag stored first in every live writer record; RenderCompressed and
// RenderCompressedEnd refuse handles that do not carry it.
inline constexpr uint32_t kAviWriterMagic = 0x52574151u;  // "QAWR"

struct AviWriterRecord {
    uint32_t magic;
    uint8_t* frameBuffer;
    int32_t height;
    vsvc::OutputFile* aviFile;
    vsvc::OutputStream* rawStream;
    vsvc::CompressedStream* compressedStream;
    AVICOMPRESSOPTIONS compressOptions;
    vsvc::StreamInfo streamInfo;
    struct {
        gfx::DibHeader header;
        gfx::DibColor color;
    } frameFormat;
    // Bytes read from the host bitmap and written per frame: whole padded rows.
    uint32_t frameBytes;
    // Set once Start has called ServiceInit, so End balances it exactly.
    bool serviceStarted;
};

// Result codes of StartAviWriter, in the order of its steps.
enum AviStartResult : int32_t {
    kAviStartOk = 0,
    kAviNoRecordMemory = 1,
    kAviFileNotCreated = 2,
    kAviStreamNotCreated = 3,
    kAviChoiceCancelled = 4,
    kAviNoCompressor = 5,
    kAviFormatRefused = 6,
    kAviNoFrameMemory = 7,
};

int32_t StartAviWriter(QvWindow parentWindow, const char* fileName, int32_t width, int32_t height,
                       int32_t bitsPerPixel, int32_t frameRate, int32_t frameTotal,
                       void** writerOut);
// 0 written, 1 not written (also for a handle that is not a live writer).
int32_t WriteAviFrame(QvDC frameDC, QvBitmap frameBitmap, uint32_t framePosition, void* writer);
// Releases what the record holds and frees it; ignores foreign handles.
void EndAviWriter(void* writer);

// The frame layout for a size and depth: the stride of a padded row and the
// whole padded frame. False for depths other than 16, 24 and 32 and for sizes
// whose byte counts do not fit in 31 bits.
bool AviFrameLayout(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t* frameBytes,
                    uint32_t* suggestedBufferSize);

}  // namespace qv::video

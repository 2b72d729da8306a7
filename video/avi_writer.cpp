#include "video/avi_writer.h"

#include "common/result_codes.h"

#include <cstring>
#include <limits>
#include <new>

// The record behind the host's opaque AviWriter handle.
struct AviWriter {
    uint8_t* frameBuffer;
    int32_t height;
    qv::vsvc::OutputFile* aviFile;
    qv::vsvc::OutputStream* rawStream;
    qv::vsvc::CompressedStream* compressedStream;
    AVICOMPRESSOPTIONS compressOptions;
    qv::vsvc::StreamInfo streamInfo;
    struct {
        qv::gfx::DibHeader header;
        qv::gfx::DibColor color;
    } frameFormat;
    // Bytes read from the host bitmap and written per frame: whole padded rows.
    uint32_t frameBytes;
    // Set once Start has called ServiceInit, so End balances it exactly.
    bool serviceStarted;
};

namespace qv::video {

bool AviFrameLayout(int32_t width, int32_t height, int32_t bitsPerPixel, uint32_t* frameBytes,
                    uint32_t* suggestedBufferSize)
{
    if (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) return false;
    if (width < 1 || height < 1) return false;
    const int64_t bytesPerPixel = bitsPerPixel / 8;
    const int64_t stride = ((int64_t(width) * bitsPerPixel + 31) / 32) * 4;
    const int64_t suggested = (int64_t(width) + 1) * bytesPerPixel * height;
    constexpr int64_t kLimit = std::numeric_limits<int32_t>::max();
    // The unpadded image size of the format header must fit as well; it is
    // never larger than the suggested size, so one check covers all three.
    if (suggested > kLimit || stride * height > kLimit) return false;
    *frameBytes = uint32_t(stride * height);
    *suggestedBufferSize = uint32_t(suggested);
    return true;
}

int32_t StartAviWriter(QvWindow parentWindow, const char* fileName, int32_t width, int32_t height,
                       int32_t bitsPerPixel, int32_t frameRate, int32_t frameTotal, AviWriter** writerOut)
{
    auto* record = new (std::nothrow) AviWriter;
    if (record == nullptr) return qv::result::kAviNoRecordMemory;
    std::memset(static_cast<void*>(record), 0, sizeof(*record));
    *writerOut = record;

    // Depths without room in the format record, and sizes whose byte counts
    // overflow, are refused before anything is created.
    uint32_t frameBytes = 0, suggested = 0;
    if (!AviFrameLayout(width, height, bitsPerPixel, &frameBytes, &suggested))
        return qv::result::kAviFormatRefused;
    record->frameBytes = frameBytes;

    record->height = height;
    vsvc::ServiceInit();
    record->serviceStarted = true;

    record->aviFile = vsvc::OpenOutputFile(fileName);
    if (record->aviFile == nullptr) return qv::result::kAviFileNotCreated;

    vsvc::StreamInfo& info = record->streamInfo;
    std::memset(&info, 0, sizeof(info));
    info.fccType = vsvc::kStreamTypeVideo;
    info.fccHandler = 0;
    info.dwScale = 100;
    info.dwRate = uint32_t(frameRate);
    info.dwLength = uint32_t(frameTotal);
    info.dwSuggestedBufferSize = suggested;
    info.rcLeft = 0;
    info.rcTop = 0;
    info.rcRight = width;
    info.rcBottom = height;
    record->rawStream = vsvc::CreateOutputStream(record->aviFile, info);
    if (record->rawStream == nullptr) return qv::result::kAviStreamNotCreated;

    std::memset(&record->compressOptions, 0, sizeof(record->compressOptions));
    if (vsvc::ChooseCompressor(parentWindow, record->rawStream, &record->compressOptions) == 0)
        return qv::result::kAviChoiceCancelled;

    record->compressedStream = vsvc::MakeCompressedStream(record->rawStream, record->compressOptions);
    if (record->compressedStream == nullptr) return qv::result::kAviNoCompressor;

    gfx::DibHeader& format = record->frameFormat.header;
    std::memset(&record->frameFormat, 0, sizeof(record->frameFormat));
    format.biSize = 40;
    format.biWidth = width;
    format.biHeight = height;
    format.biPlanes = 1;
    format.biBitCount = uint16_t(bitsPerPixel);
    format.biCompression = gfx::kBiRgb;
    format.biSizeImage = uint32_t((bitsPerPixel / 8) * width * height);
    if (!vsvc::SetInputFormat(record->compressedStream, format)) return qv::result::kAviFormatRefused;

    // Zeroed: a bitmap that cannot be read leaves the buffer as it is, and
    // stale heap bytes must not end up in the file.
    record->frameBuffer = new (std::nothrow) uint8_t[info.dwSuggestedBufferSize]();
    if (record->frameBuffer == nullptr) return qv::result::kAviNoFrameMemory;
    return qv::result::kAviStartOk;
}

int32_t WriteAviFrame(QvDC frameDC, QvBitmap frameBitmap, uint32_t framePosition, AviWriter* record)
{
    // A writer whose Start failed has no frame buffer and no compressor.
    if (record == nullptr || record->frameBuffer == nullptr || record->compressedStream == nullptr)
        return qv::result::kAviFrameNotWritten;

    gfx::GetDIBits(frameDC, frameBitmap, 0, uint32_t(record->height), record->frameBuffer,
                   &record->frameFormat, gfx::kDibRgbColors);

    const uint32_t interval = record->compressOptions.dwKeyFrameEvery;
    uint32_t flags = 0;
    if (interval != 0 && framePosition % interval == 0) flags = vsvc::kKeyFrameFlag;

    // Whole padded rows: at 24 bits and a width that is not a multiple of 4
    // the unpadded image size would cut the last rows short.
    const bool written = vsvc::WriteFrame(record->compressedStream, framePosition,
                                          record->frameBuffer, record->frameBytes, flags);
    return written ? qv::result::kAviFrameWritten : qv::result::kAviFrameNotWritten;
}

void EndAviWriter(AviWriter* record)
{
    if (record == nullptr) return;
    if (record->compressedStream != nullptr) vsvc::Release(record->compressedStream);
    if (record->rawStream != nullptr) vsvc::Release(record->rawStream);
    if (record->aviFile != nullptr) vsvc::Release(record->aviFile);
    delete[] record->frameBuffer;
    vsvc::FreeCompressorOptions(&record->compressOptions);
    if (record->serviceStarted) vsvc::ServiceExit();
    delete record;
}

}  // namespace qv::video

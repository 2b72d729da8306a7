#include "gif/gif_writer.h"

#include <cstring>
#include <new>

#include "gif/gif_code_stream.h"
#include "gif/gif_file_layout.h"
#include "gif/gif_frame_picture.h"
#include "platform/graphics.h"
#include "platform/image_library.h"

namespace qv::gif {

namespace {

// The quantiser keeps the size and gives 8 bits; the check keeps the row
// loop inside the picture whatever FreeImage handed back.
bool CoversFrame(FIBITMAP* picture, uint16_t width, uint16_t height)
{
    return FreeImage_GetBPP(picture) == 8 && FreeImage_GetWidth(picture) >= width &&
           FreeImage_GetHeight(picture) >= height;
}

// Pushes the buffered bytes to the file so that a full disk or a failed
// device shows up in the call that wrote them.
bool FlushedCleanly(std::FILE* file) { return std::fflush(file) == 0 && std::ferror(file) == 0; }

}  // namespace

bool IsLiveWriter(const GifWriter* writer)
{
    if (writer == nullptr) {
        return false;
    }
    uint32_t tag = 0;
    std::memcpy(&tag, writer, sizeof tag);
    return tag == kLiveWriterTag;
}

int32_t StartWriter(const char* fileName, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t frameRate, uint16_t loopCount, GifWriter** writerOut)
{
    if (writerOut == nullptr) {
        return kStartNoRecord;  // nowhere to hand the record to: make none
    }
    auto* writer = new (std::nothrow) GifWriter{};
    if (writer == nullptr) {
        return kStartNoRecord;
    }
    writer->tag = kLiveWriterTag;
    *writerOut = writer;

    writer->file = fileName != nullptr ? std::fopen(fileName, "wb") : nullptr;
    if (writer->file == nullptr) {
        return kStartFileNotOpened;
    }
    writer->width = static_cast<uint16_t>(width);
    writer->height = static_cast<uint16_t>(height);
    writer->bitsPerPixel = static_cast<int16_t>(bitsPerPixel);
    writer->frameDelay = FrameDelayFromRate(frameRate);

    // FreeImage would allocate a negative size by its magnitude, smaller
    // than the 16-bit size the frames are sent with; refuse it instead.
    // FreeImage's quantiser crashes or loops on pictures wider or taller
    // than 65535 pixels: such a size is refused where frames are quantised.
    const bool quantised = writer->bitsPerPixel != 8;
    if (width < 0 || height < 0 || (quantised && (width > 0xFFFF || height > 0xFFFF)) ||
        !platform::ImageLibraryAvailable()) {
        return kStartNoWorkBitmap;
    }
    writer->workBitmap = FreeImage_Allocate(width, height, bitsPerPixel, 0, 0, 0);
    if (writer->workBitmap == nullptr) {
        return kStartNoWorkBitmap;
    }

    WriteFileHeader(writer->file, writer->width, writer->height, loopCount);
    return FlushedCleanly(writer->file) ? kStartOk : kStartHeaderNotWritten;
}

int32_t WriteFrame(QvDC frameDC, QvBitmap frameBitmap, uint16_t holdFrames, GifWriter* writer)
{
    if (!IsLiveWriter(writer) || writer->workBitmap == nullptr) {
        return kFrameNoWriter;
    }
    if (std::ferror(writer->file) != 0) {
        return kFrameNotWritten;  // an earlier write failed: the file is already broken
    }

    const uint16_t delay = FrameDisplayTime(writer->frameDelay, holdFrames);
    WriteFramePrefix(writer->file, delay, writer->width, writer->height);

    // FreeImage's header describes a bottom-up picture: scan line 0 receives
    // the host picture's bottom row.
    gfx::GetDIBits(frameDC, frameBitmap, 0, writer->height, FreeImage_GetBits(writer->workBitmap),
                   FreeImage_GetInfo(writer->workBitmap), gfx::kDibRgbColors);

    FramePicture frame = AcquireFramePicture(writer->workBitmap, writer->bitsPerPixel);
    if (frame.picture == nullptr || !CoversFrame(frame.picture, writer->width, writer->height)) {
        ReleaseFramePicture(frame);
        return kFrameNotQuantised;
    }
    const RGBQUAD* palette = FreeImage_GetPalette(frame.picture);
    if (palette == nullptr) {
        ReleaseFramePicture(frame);
        return kFrameNoPalette;
    }

    WriteColorTable(writer->file, palette);
    const bool fixedUp = WriteLiteralCodeStream(writer->file, frame.picture, writer->width, writer->height);
    ReleaseFramePicture(frame);
    return fixedUp && FlushedCleanly(writer->file) ? kFrameOk : kFrameNotWritten;
}

void EndWriter(GifWriter* writer)
{
    if (!IsLiveWriter(writer)) {
        return;
    }
    writer->tag = 0;  // a stale copy of the handle no longer passes as live
    if (writer->file != nullptr) {
        WriteTrailer(writer->file);
        std::fclose(writer->file);
    }
    if (writer->workBitmap != nullptr) {
        FreeImage_Unload(writer->workBitmap);
    }
    delete writer;
}

}  // namespace qv::gif

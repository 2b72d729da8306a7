#include "gif/gif_writer.h"

#include <FreeImage.h>

#include <new>

#include "common/result_codes.h"
#include "gif/gif_file_layout.h"
#include "platform/gif_quantizer.h"
#include "platform/graphics.h"
#include "platform/image_library.h"

// The record behind the host's opaque GifWriter handle.
struct GifWriter {
    std::FILE* file;
    uint16_t width;
    uint16_t height;
    int16_t bitsPerPixel;
    uint16_t frameDelay;  // hundredths of a second per frame period
    FIBITMAP* workBitmap;
};

namespace qv::gif {

namespace {

// The quantiser keeps the size and gives 8 bits; the check keeps the row
// loop inside the picture whatever FreeImage handed back.
bool CoversFrame(FIBITMAP* picture, uint16_t width, uint16_t height)
{
    return FreeImage_GetBPP(picture) == 8 && FreeImage_GetWidth(picture) >= width &&
           FreeImage_GetHeight(picture) >= height;
}

// The 8-bit palette picture of one frame, by the path the writer's depth
// selects. Depth 8: the working bitmap itself, with the colour table the
// host read filled in. Depth 24: its NeuQuant quantisation (FreeImage's
// bytes). Any other depth: widened to 24 bits first (the copy is released
// at once). Null when no 8-bit picture could be made.
class FramePicture {
public:
    FramePicture(FIBITMAP* workBitmap, int16_t bitsPerPixel)
    {
        if (bitsPerPixel == 8) {
            picture_ = workBitmap;
            return;
        }
        owned_ = true;
        if (bitsPerPixel == 24) {
            picture_ = platform::QuantizeGifFrame(workBitmap);
            return;
        }
        if (FIBITMAP* wide = FreeImage_ConvertTo24Bits(workBitmap)) {
            picture_ = platform::QuantizeGifFrame(wide);
            FreeImage_Unload(wide);
        }
    }
    ~FramePicture()
    {
        if (owned_ && picture_ != nullptr) {
            FreeImage_Unload(picture_);
        }
    }
    FramePicture(const FramePicture&) = delete;
    FramePicture& operator=(const FramePicture&) = delete;

    FIBITMAP* get() const { return picture_; }

private:
    FIBITMAP* picture_ = nullptr;
    bool owned_ = false;  // a quantised copy, released with this
};

// Pushes the buffered bytes to the file so that a full disk or a failed
// device shows up in the call that wrote them.
bool FlushedCleanly(std::FILE* file) { return std::fflush(file) == 0 && std::ferror(file) == 0; }

}  // namespace

int32_t StartWriter(const char* fileName, int32_t width, int32_t height, int32_t bitsPerPixel,
                    int32_t frameRate, uint16_t loopCount, GifWriter** writerOut)
{
    if (writerOut == nullptr) {
        return qv::result::kGifStartNoRecord;  // nowhere to hand the record to: make none
    }
    auto* writer = new (std::nothrow) GifWriter{};
    if (writer == nullptr) {
        return qv::result::kGifStartNoRecord;
    }
    *writerOut = writer;

    writer->file = fileName != nullptr ? std::fopen(fileName, "wb") : nullptr;
    if (writer->file == nullptr) {
        return qv::result::kGifStartFileNotOpened;
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
        return qv::result::kGifStartNoWorkBitmap;
    }
    writer->workBitmap = FreeImage_Allocate(width, height, bitsPerPixel, 0, 0, 0);
    if (writer->workBitmap == nullptr) {
        return qv::result::kGifStartNoWorkBitmap;
    }

    WriteFileHeader(writer->file, writer->width, writer->height, loopCount);
    return FlushedCleanly(writer->file) ? qv::result::kGifStartOk : qv::result::kGifStartHeaderNotWritten;
}

int32_t WriteFrame(QvDC frameDC, QvBitmap frameBitmap, uint16_t holdFrames, GifWriter* writer)
{
    if (writer == nullptr || writer->workBitmap == nullptr) {
        return qv::result::kGifFrameNoWriter;
    }
    if (std::ferror(writer->file) != 0) {
        return qv::result::kGifFrameNotWritten;  // an earlier write failed: the file is already broken
    }

    // FreeImage's header describes a bottom-up picture: scan line 0 receives
    // the host picture's bottom row.
    gfx::GetDIBits(frameDC, frameBitmap, 0, writer->height, FreeImage_GetBits(writer->workBitmap),
                   FreeImage_GetInfo(writer->workBitmap), gfx::kDibRgbColors);

    // The frame is reduced to its palette before any of its bytes are
    // written: a frame that cannot be reduced leaves the file as it was, a
    // valid GIF of the frames before it.
    const FramePicture frame(writer->workBitmap, writer->bitsPerPixel);
    if (frame.get() == nullptr || !CoversFrame(frame.get(), writer->width, writer->height)) {
        return qv::result::kGifFrameNotQuantised;
    }
    const RGBQUAD* palette = FreeImage_GetPalette(frame.get());
    if (palette == nullptr) {
        return qv::result::kGifFrameNoPalette;
    }

    const uint16_t delay = FrameDisplayTime(writer->frameDelay, holdFrames);
    WriteFramePrefix(writer->file, delay, writer->width, writer->height);
    WriteColorTable(writer->file, palette);
    const bool fixedUp = WriteLiteralCodeStream(writer->file, frame.get(), writer->width, writer->height);
    return fixedUp && FlushedCleanly(writer->file) ? qv::result::kGifFrameOk : qv::result::kGifFrameNotWritten;
}

void EndWriter(GifWriter* writer)
{
    if (writer == nullptr) {
        return;
    }
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

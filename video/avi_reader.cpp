#include "video/avi_reader.h"

#include <cstring>

#include "common/result_codes.h"
#include "morph/numerics.h"
#include "platform/graphics.h"
#include "platform/video_service.h"

namespace qv::video {

namespace {

// The stream format as read: a header and room for one colour entry.
struct FormatBuffer {
    gfx::DibHeader header;
    gfx::DibColor color;
};
static_assert(sizeof(FormatBuffer) == 44, "the format read asks for 44 bytes");

}  // namespace

float StreamRate(uint32_t rate, uint32_t scale)
{
    const int32_t signedScale = int32_t(scale);
    if (signedScale == 0) return 0.0f;
    return float(double(rate) / double(signedScale));
}

int32_t ReadAviInfo(const char* fileName, int32_t* widthOut, int32_t* heightOut, float* rateOut,
                    int32_t* lengthOut)
{
    vsvc::InputStream* stream = vsvc::OpenInputStream(fileName);
    if (stream == nullptr) return qv::result::kInfoNoVideoStream;

    FormatBuffer format;
    std::memset(&format, 0, sizeof(format));
    int32_t formatSize = int32_t(sizeof(format));
    if (!vsvc::ReadFormat(stream, &format, &formatSize)) {
        vsvc::Release(stream);
        return qv::result::kInfoFormatUnreadable;
    }

    vsvc::StreamInfo info;
    std::memset(&info, 0, sizeof(info));
    if (!vsvc::ReadInfo(stream, &info, int32_t(sizeof(info)))) {
        vsvc::Release(stream);
        return qv::result::kInfoHeaderUnreadable;
    }

    *widthOut = format.header.biWidth;
    *heightOut = format.header.biHeight;
    *rateOut = StreamRate(info.dwRate, info.dwScale);
    *lengthOut = vsvc::StreamLength(stream);
    vsvc::Release(stream);
    return qv::result::kInfoOk;
}

int32_t DrawAviFrame(QvDC targetDC, const char* fileName, int32_t framePosition, float zoom)
{
    vsvc::InputStream* stream = vsvc::OpenInputStream(fileName);
    if (stream == nullptr) return qv::result::kDrawFrameNoVideoStream;

    FormatBuffer format;
    std::memset(&format, 0, sizeof(format));
    int32_t formatSize = int32_t(sizeof(format));
    if (!vsvc::ReadFormat(stream, &format, &formatSize)) {
        vsvc::Release(stream);
        return qv::result::kDrawFrameFormatUnreadable;
    }

    vsvc::FrameDecoder* decoder = vsvc::OpenFrameDecoder(stream);
    if (decoder == nullptr) {
        vsvc::Release(stream);
        return qv::result::kDrawFrameNoDecoder;
    }

    const void* frame = vsvc::GetFrame(decoder, framePosition);
    if (frame == nullptr) {
        vsvc::Close(decoder);
        vsvc::Release(stream);
        return qv::result::kDrawFrameNoSuchFrame;
    }

    // A delivered frame with a 40-byte header carries its own header and
    // colour entries; anything else is bare pixels in the stream's format.
    gfx::DibInfo chosen;
    const uint8_t* pixels = nullptr;
    uint32_t headerSize = 0;
    std::memcpy(&headerSize, frame, sizeof(headerSize));
    if (headerSize == 40) {
        std::memcpy(&chosen.header, frame, sizeof(chosen.header));
        const uint32_t colors = chosen.header.biClrUsed <= 256 ? chosen.header.biClrUsed : 256;
        std::memcpy(chosen.colors, static_cast<const uint8_t*>(frame) + 40, size_t(colors) * 4);
        pixels = static_cast<const uint8_t*>(frame) + 40 + size_t(chosen.header.biClrUsed) * 4;
    } else {
        std::memcpy(&chosen.header, &format.header, sizeof(chosen.header));
        std::memcpy(&chosen.colors[0], &format.color, sizeof(format.color));
        pixels = static_cast<const uint8_t*>(frame);
    }
    chosen.header.biCompression = gfx::kBiRgb;

    const int32_t w = chosen.header.biWidth;
    const int32_t h = chosen.header.biHeight;
    int32_t drawn = 0;
    // A NaN zoom compares unequal to everything, yet is drawn unscaled.
    if (zoom == 1.0f || zoom != zoom) {
        drawn = gfx::SetDIBitsToDevice(targetDC, 0, 0, uint32_t(w), uint32_t(h), 0, 0, 0,
                                       uint32_t(h), pixels, &chosen, gfx::kDibRgbColors);
    } else {
        gfx::SetStretchBltMode(targetDC, gfx::kColorOnColor);
        const int32_t destWidth = TruncToInt32(double(w) * double(zoom));
        const int32_t destHeight = TruncToInt32(double(h) * double(zoom));
        drawn = gfx::StretchDIBits(targetDC, 0, 0, destWidth, destHeight, 0, 0, w, h, pixels,
                                   &chosen, gfx::kDibRgbColors, gfx::kSrcCopy);
    }

    vsvc::Close(decoder);
    vsvc::Release(stream);
    return drawn != 0 ? qv::result::kDrawFrameOk : qv::result::kDrawFrameNotDrawn;
}

}  // namespace qv::video

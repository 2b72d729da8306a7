// The compressors that the portable video service offers, each named by the
// four-character code that AVI files carry, and the FFmpeg encoder settings
// behind each: pixel format, quality scale and key-frame control.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/video_service.h"

namespace qv::vsvc {

// How a codec is made to start key frames every k frames.
enum class KeyFrameControl {
    None,          // every frame is a key frame
    ForcedFrames,  // frames at multiples of k are sent as forced intra frames, gop = k
    GopSize,       // the encoder counts frames itself: gop_size = k
    KeyintMinus1,  // the encoder keys every keyint_min + 1 frames: keyint_min = k - 1
};

struct CompressorSpec {
    uint32_t fcc;             // stored in strh.fccHandler and strf.biCompression
    const char* encoder;      // FFmpeg encoder name; null for uncompressed frames
    const char* description;
    AVPixelFormat formats[2]; // the first that the encoder takes is used
    bool lossless;
    bool keyFramesOnly;
    KeyFrameControl keyFrames;
    bool qscaleQuality;       // dwQuality maps onto qscale 31..1
};

inline constexpr uint32_t kUncompressedFcc = FourCC('D', 'I', 'B', ' ');

// The compressor for a chooser's fccHandler, compared without regard to
// case; 0 names uncompressed frames. Null when unknown or not available.
const CompressorSpec* FindCompressor(uint32_t fccHandler);
bool CompressorAvailable(const CompressorSpec& spec);
const CompressorSpec* CompressorTable(size_t* count);

// An opened encoder for frames of this size at rate/scale frames per second,
// set up from the options as the compressor entry describes. Null when the
// encoder refuses.
AVCodecContext* OpenEncoder(const CompressorSpec& spec, const AVICOMPRESSOPTIONS& options,
                            int32_t width, int32_t height, uint32_t rate, uint32_t scale);

}  // namespace qv::vsvc

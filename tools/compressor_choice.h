// The compressor for AVI output: named with --codec, or picked from a
// numbered list on the terminal (--codec ask), and handed to the library
// through a host window's chooser.
#pragma once

#include <quorvane/host.h>
#include <quorvane/video.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qvcli {

std::vector<QvCompressorInfo> AvailableCompressors();

// "MJPG", "DIB " shown without trailing spaces.
std::string FourCCText(uint32_t fcc);

struct CompressorRequest {
    bool ask = false;            // choose on the terminal
    uint32_t fcc = 0;            // the named compressor when not asking
    std::optional<int> quality;  // 0..100; none: the compressor's default
    int keyFrameEvery = 0;       // 0: the compressor decides
};

// Resolves a --codec value: a four-character code in any case ("mjpg",
// "ffv1", "h264"), "raw"/"dib"/"none" for uncompressed frames, or "ask".
// Throws a UsageError listing the available compressors otherwise.
CompressorRequest ResolveCodec(const std::string& name);

// The chooser the library calls from RenderCompressedStart; `context` is a
// CompressorRequest. Returns 0 (cancelled) when asking and the user gives
// no choice.
int32_t ChooseCompressor(void* context, AVICOMPRESSOPTIONS* options);

// The list printed by "quorvane codecs" and by a bad --codec.
std::string CompressorListText();

}  // namespace qvcli

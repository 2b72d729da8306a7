// Helpers for the video tests: the ffmpeg and ffprobe commands as
// independent writers and decoders, host pictures with recognisable
// content, and an AVI parser of the tests' own.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <quorvane/host.h>

#include "support/host_picture.h"
#include "support/scratch_files.h"
#include "support/shell_run.h"

namespace qv::test {

// Runs a shell command; returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);

// A file made once by `ffmpeg -f lavfi -i <source> <args>` and kept in
// ./video-fixtures (the tests' working directory) for later runs and for
// the other test cases; the name carries a digest of the command. Returns
// its path, or an empty string when ffmpeg failed.
std::string FfmpegFixture(const std::string& name, const std::string& source, const std::string& args);

// Every frame of the first video stream as FFmpeg decodes it: packed bgr24
// rows from the top row down, width * 3 bytes each. Frames are output as the
// decoder produces them (no frame-rate conversion).
struct DecodedVideo {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<std::vector<uint8_t>> frames;
};
DecodedVideo FfmpegDecode(const std::string& path);

// ffprobe's key-frame flag of every video packet, in file order.
std::vector<bool> FfprobeKeyFlags(const std::string& path);
// One field of ffprobe's stream description of the first video stream
// (codec_name, width, r_frame_rate, nb_frames, ...).
std::string FfprobeStreamField(const std::string& path, const std::string& field);

// A picture whose every pixel depends on (x, y, seed): smooth gradients with
// a moving square, so that frames differ and codecs have real work.
// With `shiftColours` false only the square moves, so inter-frame codecs
// find most of the picture unchanged.
BitmapHandle MakePattern(int32_t width, int32_t height, int32_t depth, uint32_t seed,
                   bool shiftColours = true);
BitmapHandle MakeFilled(int32_t width, int32_t height, int32_t depth, uint8_t value);
// Top-down packed bgr24 rows of a 24- or 32-bit host picture.
std::vector<uint8_t> Bgr24Rows(HostBitmap* bitmap);
// The host picture's rows as a bottom-up DIB of its own depth would hold them.
std::vector<uint8_t> BottomUpDib(HostBitmap* bitmap);

// A chooser that hands out a fixed choice, or cancels.
struct FixedChoice {
    uint32_t fccHandler = 0;
    uint32_t keyFrameEvery = 0;
    uint32_t quality = 10000;
    uint32_t flags = 0;
    uint32_t bytesPerSecond = 0;
    bool cancel = false;
    int calls = 0;
};
WindowHandle MakeChooserWindow(FixedChoice* choice);

// ---- The tests' own AVI reader ----
struct RiffChunk {
    uint32_t id = 0;
    uint64_t offset = 0;  // of the chunk header in the file
    uint32_t size = 0;
};
struct AviIndexEntry {
    uint32_t id, flags, offset, size;
};
struct AviLayout {
    bool valid = false;
    uint32_t riffSize = 0;
    std::vector<uint8_t> avih, strh, strf;
    uint64_t moviTypeOffset = 0;  // file offset of the 'movi' four characters
    uint32_t moviListSize = 0;
    std::vector<RiffChunk> moviChunks;
    std::vector<AviIndexEntry> index;
    uint32_t U32(const std::vector<uint8_t>& block, size_t at) const;
};
AviLayout ParseAvi(const std::vector<uint8_t>& file);
uint32_t Fcc(const char* four);

}  // namespace qv::test

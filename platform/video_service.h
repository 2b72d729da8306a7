// The video-file service that the AVI writer and reader stand on: create a
// file with one video stream, compress frames into it and complete it on
// release; open the first video stream of a file, read its format, header and
// length, and decode single frames into packed device-independent bitmaps.
// Platform-neutral: the portable build implements it on FFmpeg's libraries
// (platform/portable/video_service_ffmpeg*.cpp), the Windows build on AVIFile.
//
// Every call reports failure as a null object or false and never logs or
// shows a message. Calls that grow memory (the portable muxer's index and
// header buffers) may throw std::bad_alloc; the exports catch it and answer
// with their failure codes. Objects are released by their own Release call
// only.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>
#if defined(_WIN32)
#  include <vfw.h>
#else
#  include <quorvane/host.h>
#endif

#include "platform/graphics.h"

namespace qv::vsvc {

// AVISTREAMINFOA, byte for byte (140 bytes).
struct StreamInfo {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwFlags;
    uint32_t dwCaps;
    uint16_t wPriority;
    uint16_t wLanguage;
    uint32_t dwScale;
    uint32_t dwRate;
    uint32_t dwStart;
    uint32_t dwLength;
    uint32_t dwInitialFrames;
    uint32_t dwSuggestedBufferSize;
    uint32_t dwQuality;
    uint32_t dwSampleSize;
    int32_t rcLeft, rcTop, rcRight, rcBottom;
    uint32_t dwEditCount;
    uint32_t dwFormatChangeCount;
    char szName[64];
};
static_assert(sizeof(StreamInfo) == 140, "AVISTREAMINFOA is 140 bytes");

// Four-character code as the file stores it (first character in the low byte).
constexpr uint32_t FourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

inline constexpr uint32_t kStreamTypeVideo = FourCC('v', 'i', 'd', 's');
inline constexpr uint32_t kKeyFrameFlag = 0x10;  // AVIIF_KEYFRAME

// ---- Writing ----

struct OutputFile;
struct OutputStream;
struct CompressedStream;

// Balanced pairs around one writer's use of the service.
void ServiceInit();
void ServiceExit();

// Creates (or empties) the file. Null when it cannot be created.
OutputFile* OpenOutputFile(const char* fileName);
// A video stream with this header. Null when the header cannot be served.
OutputStream* CreateOutputStream(OutputFile* file, const StreamInfo& info);
// Lets the user choose a compressor for `stream`: non-zero confirmed (options
// filled), 0 cancelled or failed. `options` is zeroed by the caller.
int32_t ChooseCompressor(QvWindow owner, OutputStream* stream, AVICOMPRESSOPTIONS* options);
// A stream that compresses frames into `stream` as the options say. Null when
// the compressor is unknown or unavailable.
CompressedStream* MakeCompressedStream(OutputStream* stream, const AVICOMPRESSOPTIONS& options);
// The layout of every frame handed in (bottom-up BI_RGB, 16, 24 or 32 bits).
// False when the compressor cannot take such frames.
bool SetInputFormat(CompressedStream* stream, const gfx::DibHeader& format);
// Compresses one frame of `bytes` bytes at `position`. `flags` with
// kKeyFrameFlag asks for a key frame there. False when nothing was written.
bool WriteFrame(CompressedStream* stream, uint32_t position, const void* bits, uint32_t bytes,
                uint32_t flags);
void Release(CompressedStream* stream);
void Release(OutputStream* stream);
// Completes the file once every stream on it is released.
void Release(OutputFile* file);
// Frees whatever the chooser attached to `options`; harmless on zeroed options.
void FreeCompressorOptions(AVICOMPRESSOPTIONS* options);

#if !defined(_WIN32)
// One compressor that ChooseCompressor's options may name. (On Windows the
// platform's dialog lists the installed compressors itself.)
struct CompressorEntry {
    uint32_t fccHandler;
    const char* description;  // static text
    bool lossless;
    bool keyFramesOnly;  // every frame stands alone
};
// Fills up to `capacity` entries with the compressors available here and
// returns how many there are.
int32_t ListCompressors(CompressorEntry* entries, int32_t capacity);
#endif

// ---- Reading ----

struct InputStream;
struct FrameDecoder;

// The first video stream of the file. Null when there is none.
InputStream* OpenInputStream(const char* fileName);
// Copies up to *size bytes of the stream's format (a BITMAPINFOHEADER and
// what follows it) into `format`; *size becomes the bytes copied. False when
// not even a whole 40-byte header is available.
bool ReadFormat(InputStream* stream, void* format, int32_t* size);
// Fills up to `size` bytes of `info`. False when size is too small.
bool ReadInfo(InputStream* stream, StreamInfo* info, int32_t size);
// The stream length in frames, as the stream header states it.
int32_t StreamLength(InputStream* stream);
FrameDecoder* OpenFrameDecoder(InputStream* stream);
// The frame at `position` as a packed DIB (40-byte header, pixels), owned by
// the decoder and valid until the next call on it. Null when no frame exists.
const void* GetFrame(FrameDecoder* decoder, int32_t position);
void Close(FrameDecoder* decoder);
void Release(InputStream* stream);

}  // namespace qv::vsvc

// The video-file service on Windows: Video for Windows' AVIFile interface,
// ANSI forms. The opaque service objects are the interface pointers
// themselves, except the compressing stream, which also remembers whether
// every frame it takes stands alone.
#include <windows.h>
#include <vfw.h>

#include <cstring>
#include <new>

#include "platform/video_service.h"

namespace qv::vsvc {

static_assert(sizeof(StreamInfo) == sizeof(AVISTREAMINFOA));
static_assert(kStreamTypeVideo == streamtypeVIDEO && kKeyFrameFlag == AVIIF_KEYFRAME);

struct CompressedStream {
    PAVISTREAM stream;
    // Uncompressed frames: the platform's reader treats a frame without the
    // key-frame flag as a copy of the last key frame, so all are flagged.
    bool framesStandAlone;
};

namespace {

PAVIFILE AsFile(OutputFile* file) { return reinterpret_cast<PAVIFILE>(file); }
PAVISTREAM AsStream(OutputStream* stream) { return reinterpret_cast<PAVISTREAM>(stream); }
PAVISTREAM AsStream(InputStream* stream) { return reinterpret_cast<PAVISTREAM>(stream); }
PGETFRAME AsDecoder(FrameDecoder* decoder) { return reinterpret_cast<PGETFRAME>(decoder); }

bool IsUncompressed(uint32_t handler)
{
    return handler == 0 || handler == comptypeDIB || handler == mmioFOURCC('d', 'i', 'b', ' ');
}

}  // namespace

void ServiceInit() { AVIFileInit(); }
void ServiceExit() { AVIFileExit(); }

OutputFile* OpenOutputFile(const char* fileName)
{
    if (fileName == nullptr) return nullptr;
    PAVIFILE file = nullptr;
    if (AVIFileOpenA(&file, fileName, OF_WRITE | OF_CREATE, nullptr) != 0) return nullptr;
    return reinterpret_cast<OutputFile*>(file);
}

OutputStream* CreateOutputStream(OutputFile* file, const StreamInfo& info)
{
    AVISTREAMINFOA header;
    std::memcpy(&header, &info, sizeof(header));
    PAVISTREAM stream = nullptr;
    if (AVIFileCreateStreamA(AsFile(file), &stream, &header) != 0) return nullptr;
    return reinterpret_cast<OutputStream*>(stream);
}

int32_t ChooseCompressor(QvWindow owner, OutputStream* stream, AVICOMPRESSOPTIONS* options)
{
    PAVISTREAM streams[1] = {AsStream(stream)};
    LPAVICOMPRESSOPTIONS chosen[1] = {options};
    return AVISaveOptions(owner, ICMF_CHOOSE_KEYFRAME, 1, streams, chosen) ? 1 : 0;
}

CompressedStream* MakeCompressedStream(OutputStream* stream, const AVICOMPRESSOPTIONS& options)
{
    auto* compressed = new (std::nothrow) CompressedStream{nullptr, IsUncompressed(options.fccHandler)};
    if (compressed == nullptr) return nullptr;
    AVICOMPRESSOPTIONS copy = options;
    if (AVIMakeCompressedStream(&compressed->stream, AsStream(stream), &copy, nullptr) != 0) {
        delete compressed;
        return nullptr;
    }
    return compressed;
}

bool SetInputFormat(CompressedStream* stream, const gfx::DibHeader& format)
{
    gfx::DibHeader copy = format;
    return AVIStreamSetFormat(stream->stream, 0, &copy, LONG(sizeof(copy))) == 0;
}

bool WriteFrame(CompressedStream* stream, uint32_t position, const void* bits, uint32_t bytes, uint32_t flags)
{
    if (stream->framesStandAlone) flags |= kKeyFrameFlag;
    return AVIStreamWrite(stream->stream, LONG(position), 1, const_cast<void*>(bits), LONG(bytes), flags, nullptr,
                          nullptr) == 0;
}

void Release(CompressedStream* stream)
{
    AVIStreamRelease(stream->stream);
    delete stream;
}

void Release(OutputStream* stream) { AVIStreamRelease(AsStream(stream)); }
void Release(OutputFile* file) { AVIFileRelease(AsFile(file)); }

void FreeCompressorOptions(AVICOMPRESSOPTIONS* options)
{
    LPAVICOMPRESSOPTIONS chosen[1] = {options};
    AVISaveOptionsFree(1, chosen);
}

// The reader opens files without a writer's AVIFileInit, and the service
// cannot open anything in a thread where COM is not set up: each open stream
// holds one initialisation of its own (counted by the platform, so it does
// not disturb a writer's) until it is released.
InputStream* OpenInputStream(const char* fileName)
{
    if (fileName == nullptr) return nullptr;
    AVIFileInit();
    PAVISTREAM stream = nullptr;
    if (AVIStreamOpenFromFileA(&stream, fileName, streamtypeVIDEO, 0, OF_READ, nullptr) != 0) {
        AVIFileExit();
        return nullptr;
    }
    return reinterpret_cast<InputStream*>(stream);
}

bool ReadFormat(InputStream* stream, void* format, int32_t* size)
{
    LONG bytes = *size;
    if (AVIStreamReadFormat(AsStream(stream), 0, format, &bytes) != 0) return false;
    *size = bytes;
    return true;
}

bool ReadInfo(InputStream* stream, StreamInfo* info, int32_t size)
{
    return AVIStreamInfoA(AsStream(stream), reinterpret_cast<AVISTREAMINFOA*>(info), size) == 0;
}

int32_t StreamLength(InputStream* stream) { return AVIStreamLength(AsStream(stream)); }

FrameDecoder* OpenFrameDecoder(InputStream* stream)
{
    return reinterpret_cast<FrameDecoder*>(AVIStreamGetFrameOpen(AsStream(stream), nullptr));
}

const void* GetFrame(FrameDecoder* decoder, int32_t position) { return AVIStreamGetFrame(AsDecoder(decoder), position); }

void Close(FrameDecoder* decoder) { AVIStreamGetFrameClose(AsDecoder(decoder)); }
void Release(InputStream* stream)
{
    AVIStreamRelease(AsStream(stream));
    AVIFileExit();
}

}  // namespace qv::vsvc

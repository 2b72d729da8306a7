// The writing half of the video service: our own AVI muxer, FFmpeg's
// encoders, and the host window's chooser for the compressor.
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include "platform/portable/video_avi_muxer.h"
#include "platform/portable/video_compressors.h"
#include "platform/portable/video_ffmpeg_common.h"
#include "platform/video_service.h"
#include "platform/window.h"

namespace qv::vsvc {

struct OutputFile {
    AviMuxer muxer;
    int32_t references = 0;  // streams not yet released
    bool released = false;
};

struct OutputStream {
    OutputFile* file = nullptr;
    StreamInfo info{};
};

struct CompressedStream {
    OutputStream* target = nullptr;
    const CompressorSpec* spec = nullptr;
    AVICOMPRESSOPTIONS options{};
    bool formatSet = false;
    bool broken = false;  // a compressed frame was lost: later ones would not decode
    gfx::DibHeader input{};
    AVPixelFormat inputFormat = AV_PIX_FMT_NONE;
    uint32_t inputStride = 0;
    uint32_t chunkId = 0;
    int64_t lastPosition = -1;
    AVCodecContext* encoder = nullptr;
    SwsContext* scaler = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
};

namespace {

void CompleteFileIfDone(OutputFile* file)
{
    if (file->released && file->references == 0) {
        file->muxer.Close();
        delete file;
    }
}

// Drains every packet the encoder has ready into the file.
bool DrainPackets(CompressedStream* s)
{
    // A stream whose packet could not be allocated has nothing to drain into.
    if (s->packet == nullptr) return false;
    bool ok = true;
    for (;;) {
        const int r = avcodec_receive_packet(s->encoder, s->packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) return false;
        const bool key = (s->packet->flags & AV_PKT_FLAG_KEY) != 0;
        const int64_t pts = s->packet->pts;
        if (pts < 0 || pts > 0xFFFFFFFFll || s->broken ||
            !s->target->file->muxer.WriteChunk(uint32_t(pts), s->chunkId, s->packet->data,
                                               uint32_t(s->packet->size), key)) {
            ok = false;
            if (!s->spec->keyFramesOnly) s->broken = true;
        }
        av_packet_unref(s->packet);
    }
    return ok;
}

AVPixelFormat DibPixelFormat(uint16_t bitCount)
{
    switch (bitCount) {
    case 16: return AV_PIX_FMT_RGB555LE;  // BI_RGB at 16 bits is 5-5-5, blue lowest
    case 24: return AV_PIX_FMT_BGR24;
    case 32: return AV_PIX_FMT_BGR0;
    default: return AV_PIX_FMT_NONE;
    }
}

void PutFormatHeader(std::vector<uint8_t>& out, const gfx::DibHeader& h)
{
    out.resize(sizeof(h));
    std::memcpy(out.data(), &h, sizeof(h));
}

}  // namespace

void ServiceInit() { QuietFfmpegLog(); }
void ServiceExit() {}

OutputFile* OpenOutputFile(const char* fileName)
{
    auto* file = new (std::nothrow) OutputFile;
    if (file == nullptr) return nullptr;
    if (!file->muxer.Open(fileName)) {
        delete file;
        return nullptr;
    }
    return file;
}

OutputStream* CreateOutputStream(OutputFile* file, const StreamInfo& info)
{
    if (file == nullptr || file->muxer.HasStream() || info.fccType != kStreamTypeVideo ||
        info.dwSampleSize != 0)
        return nullptr;
    auto* stream = new (std::nothrow) OutputStream;
    if (stream == nullptr) return nullptr;
    stream->file = file;
    stream->info = info;
    file->muxer.SetStream(info);
    file->references += 1;
    return stream;
}

int32_t ChooseCompressor(QvWindow owner, OutputStream*, AVICOMPRESSOPTIONS* options)
{
    const int32_t chosen = qv::win::RunChooser(owner, options);
    if (chosen >= 0) return chosen;
    // No chooser: uncompressed frames, which every reader plays and which
    // keep every pixel.
    std::memset(options, 0, sizeof(*options));
    options->fccType = kStreamTypeVideo;
    options->fccHandler = kUncompressedFcc;
    options->dwKeyFrameEvery = 1;
    options->dwQuality = 10000;
    options->dwFlags = 0x4 | 0x8;  // AVICOMPRESSF_KEYFRAMES | AVICOMPRESSF_VALID
    return 1;
}

CompressedStream* MakeCompressedStream(OutputStream* stream, const AVICOMPRESSOPTIONS& options)
{
    if (stream == nullptr) return nullptr;
    const CompressorSpec* spec = FindCompressor(options.fccHandler);
    if (spec == nullptr) return nullptr;
    auto* s = new (std::nothrow) CompressedStream;
    if (s == nullptr) return nullptr;
    s->target = stream;
    s->spec = spec;
    s->options = options;
    stream->file->references += 1;
    return s;
}

bool SetInputFormat(CompressedStream* s, const gfx::DibHeader& format)
{
    if (s == nullptr || s->formatSet) return false;
    const AVPixelFormat inputFormat = DibPixelFormat(format.biBitCount);
    if (format.biCompression != gfx::kBiRgb || inputFormat == AV_PIX_FMT_NONE ||
        format.biWidth < 1 || format.biHeight < 1 || format.biPlanes != 1)
        return false;
    const uint32_t stride = gfx::DibStride(format.biWidth, format.biBitCount);
    if (stride == 0 || uint64_t(stride) * uint32_t(format.biHeight) > 0x7FFFFFFFu) return false;

    AviMuxer& muxer = s->target->file->muxer;
    std::vector<uint8_t> strf;
    if (s->spec->encoder == nullptr) {
        // Stored as handed in, with the image size of the whole padded rows.
        gfx::DibHeader stored = format;
        stored.biSizeImage = stride * uint32_t(format.biHeight);
        PutFormatHeader(strf, stored);
        s->chunkId = FourCC('0', '0', 'd', 'b');
    } else {
        const StreamInfo& info = s->target->info;
        s->encoder = OpenEncoder(*s->spec, s->options, format.biWidth, format.biHeight, info.dwRate,
                                 info.dwScale);
        if (s->encoder == nullptr) return false;
        s->frame = av_frame_alloc();
        s->packet = av_packet_alloc();
        if (s->frame == nullptr || s->packet == nullptr) return false;
        s->frame->format = s->encoder->pix_fmt;
        s->frame->width = format.biWidth;
        s->frame->height = format.biHeight;
        if (av_frame_get_buffer(s->frame, 0) < 0) return false;
        s->scaler = sws_getContext(format.biWidth, format.biHeight, inputFormat, format.biWidth,
                                   format.biHeight, s->encoder->pix_fmt, SWS_BICUBIC, nullptr,
                                   nullptr, nullptr);
        if (s->scaler == nullptr) return false;

        gfx::DibHeader stored{};
        const int bits = s->encoder->bits_per_coded_sample > 0 ? s->encoder->bits_per_coded_sample : 24;
        const int extra = s->encoder->extradata_size > 0 ? s->encoder->extradata_size : 0;
        stored.biSize = uint32_t(40 + extra);
        stored.biWidth = format.biWidth;
        stored.biHeight = format.biHeight;
        stored.biPlanes = 1;
        stored.biBitCount = uint16_t(bits);
        stored.biCompression = s->spec->fcc;
        stored.biSizeImage =
            uint32_t((uint64_t(format.biWidth) * uint32_t(format.biHeight) * uint32_t(bits) + 7) / 8);
        PutFormatHeader(strf, stored);
        strf.insert(strf.end(), s->encoder->extradata, s->encoder->extradata + extra);
        s->chunkId = FourCC('0', '0', 'd', 'c');
    }
    if (!muxer.SetFormat(strf.data(), uint32_t(strf.size()))) return false;
    muxer.SetHandler(s->spec->fcc);
    s->input = format;
    s->inputFormat = inputFormat;
    s->inputStride = stride;
    s->formatSet = true;
    return true;
}

bool WriteFrame(CompressedStream* s, uint32_t position, const void* bits, uint32_t bytes,
                uint32_t flags)
{
    if (s == nullptr || !s->formatSet || s->broken || int64_t(position) <= s->lastPosition)
        return false;
    const uint32_t frameBytes = s->inputStride * uint32_t(s->input.biHeight);
    if (bits == nullptr || bytes < frameBytes) return false;
    AviMuxer& muxer = s->target->file->muxer;

    if (s->encoder == nullptr) {
        // Uncompressed frames stand alone: every one is a key frame.
        if (!muxer.WriteChunk(position, s->chunkId, static_cast<const uint8_t*>(bits), frameBytes,
                              true))
            return false;
        s->lastPosition = position;
        return true;
    }

    // Refuse early a position the file cannot take at all (one already
    // written, a failed file, or one whose empty gap chunks alone would pass
    // the size limit), so the encoder never runs ahead of the file. The
    // packet's own size is checked when it is written.
    if (!muxer.CanWrite(position, 0)) return false;
    if (av_frame_make_writable(s->frame) < 0) return false;
    // Bottom-up rows: start at the last row in memory and step backwards.
    const uint8_t* top = static_cast<const uint8_t*>(bits) +
                         size_t(s->inputStride) * size_t(s->input.biHeight - 1);
    const uint8_t* srcPlanes[4] = {top, nullptr, nullptr, nullptr};
    const int srcStrides[4] = {-int(s->inputStride), 0, 0, 0};
    sws_scale(s->scaler, srcPlanes, srcStrides, 0, s->input.biHeight, s->frame->data,
              s->frame->linesize);
    s->frame->pts = position;
    // In fixed-quantiser mode the encoders read the quality of each frame.
    s->frame->quality = s->encoder->global_quality;
    s->frame->pict_type = AV_PICTURE_TYPE_NONE;
    if ((flags & kKeyFrameFlag) != 0 && s->spec->keyFrames == KeyFrameControl::ForcedFrames)
        s->frame->pict_type = AV_PICTURE_TYPE_I;
    if (avcodec_send_frame(s->encoder, s->frame) < 0) return false;
    s->lastPosition = position;
    return DrainPackets(s);
}

void Release(CompressedStream* s)
{
    if (s == nullptr) return;
    if (s->encoder != nullptr) {
        if (avcodec_send_frame(s->encoder, nullptr) >= 0) DrainPackets(s);
        avcodec_free_context(&s->encoder);
    }
    sws_freeContext(s->scaler);
    av_frame_free(&s->frame);
    av_packet_free(&s->packet);
    OutputFile* file = s->target->file;
    file->references -= 1;
    delete s;
    CompleteFileIfDone(file);
}

void Release(OutputStream* stream)
{
    if (stream == nullptr) return;
    OutputFile* file = stream->file;
    file->references -= 1;
    delete stream;
    CompleteFileIfDone(file);
}

void Release(OutputFile* file)
{
    if (file == nullptr) return;
    file->released = true;
    CompleteFileIfDone(file);
}

void FreeCompressorOptions(AVICOMPRESSOPTIONS*) {}

int32_t ListCompressors(CompressorEntry* entries, int32_t capacity)
{
    size_t count = 0;
    const CompressorSpec* table = CompressorTable(&count);
    int32_t available = 0;
    for (size_t i = 0; i < count; ++i) {
        if (!CompressorAvailable(table[i])) continue;
        if (entries != nullptr && available < capacity)
            entries[available] = {table[i].fcc, table[i].description, table[i].lossless,
                                  table[i].keyFramesOnly};
        ++available;
    }
    return available;
}

}  // namespace qv::vsvc

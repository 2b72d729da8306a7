// The reading half of the video service: libavformat finds the first video
// stream and its packets, libavcodec decodes them, libswscale turns a frame
// into a packed bottom-up 24-bit DIB. For AVI files the stream header and
// format are taken from the file as stored.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

#include "platform/portable/video_avi_header.h"
#include "platform/portable/video_ffmpeg_common.h"
#include "platform/portable/video_padded_frame.h"
#include "platform/video_service.h"

namespace qv::vsvc {

struct InputStream {
    AVFormatContext* format = nullptr;
    int index = -1;
    StreamInfo info{};
    std::vector<uint8_t> formatBytes;
    int32_t length = 0;
    AVRational frameRate{0, 1};  // frames per second, for timestamps to positions
    int64_t start = 0;           // timestamp of position 0
    // AVI: every chunk is one position, so frames are counted from the key
    // frame a seek lands on; their timestamps are guesses when the codec
    // reorders frames. Other containers carry presentation timestamps.
    bool countFrames = false;
    // The colour table of a palettised AVI stream, as FFmpeg's palette
    // side data. The demuxer attaches it to the first packet only, so it is
    // handed in again after every seek.
    std::vector<uint32_t> palette;
};

struct FrameDecoder {
    InputStream* input = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* held = nullptr;  // the latest frame before the wanted position
    SwsContext* scaler = nullptr;
    AVFrame* converted = nullptr;  // bgr24, padded for swscale
    std::vector<uint8_t> dib;
    bool reorders = false;  // the codec may show frames in another order than stored
};

namespace {

// Delivered frames larger than this are refused rather than allocated.
constexpr uint64_t kMaxFrameBytes = uint64_t(1) << 30;

bool ValidRate(AVRational r) { return r.num > 0 && r.den > 0; }

AVRational RateFromHeader(uint32_t rate, uint32_t scale)
{
    AVRational r{0, 1};
    if (rate == 0 || int32_t(scale) <= 0) return r;
    av_reduce(&r.num, &r.den, int64_t(rate), int64_t(scale), 0x7FFFFFFF);
    return r;
}

// A format header for containers that have none of their own.
void SynthesizeHeader(const AVStream* st, InputStream* in)
{
    const AVCodecParameters* par = st->codecpar;
    gfx::DibHeader h{};
    h.biSize = 40;
    h.biWidth = par->width;
    h.biHeight = par->height;
    h.biPlanes = 1;
    h.biBitCount = uint16_t(par->bits_per_coded_sample > 0 ? par->bits_per_coded_sample : 24);
    h.biCompression = par->codec_tag;
    h.biSizeImage = uint32_t(uint64_t(uint32_t(par->width)) * uint32_t(par->height) * 3);
    in->formatBytes.resize(sizeof(h));
    std::memcpy(in->formatBytes.data(), &h, sizeof(h));

    StreamInfo& info = in->info;
    std::memset(&info, 0, sizeof(info));
    info.fccType = kStreamTypeVideo;
    info.fccHandler = par->codec_tag;
    info.dwRate = uint32_t(in->frameRate.num);
    info.dwScale = uint32_t(in->frameRate.den);
    info.rcRight = par->width;
    info.rcBottom = par->height;
    int64_t frames = st->nb_frames;
    if (frames <= 0 && st->duration != AV_NOPTS_VALUE && ValidRate(in->frameRate))
        frames = av_rescale_q(st->duration, st->time_base, av_inv_q(in->frameRate));
    if (frames <= 0 && in->format->duration > 0 && ValidRate(in->frameRate))
        frames = av_rescale_q(in->format->duration, AVRational{1, AV_TIME_BASE},
                              av_inv_q(in->frameRate));
    info.dwLength = uint32_t(std::clamp<int64_t>(frames, 0, 0x7FFFFFFF));
    in->length = int32_t(info.dwLength);
}

void ReadPalette(InputStream* in)
{
    if (in->formatBytes.size() < sizeof(gfx::DibHeader)) return;
    gfx::DibHeader h;
    std::memcpy(&h, in->formatBytes.data(), sizeof(h));
    if (h.biBitCount == 0 || h.biBitCount > 8 || h.biSize < 40 || h.biSize > in->formatBytes.size())
        return;
    size_t count = h.biClrUsed != 0 ? h.biClrUsed : size_t(1) << h.biBitCount;
    count = std::min<size_t>({count, 256, (in->formatBytes.size() - h.biSize) / 4});
    in->palette.assign(256, 0xFF000000u);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* q = in->formatBytes.data() + h.biSize + i * 4;
        in->palette[i] = 0xFF000000u | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
    }
}

int64_t FrameIndex(const InputStream* in, const AVStream* st, int64_t timestamp)
{
    return av_rescale_q_rnd(timestamp - in->start, st->time_base, av_inv_q(in->frameRate),
                            AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
}

// Converts `frame` into the decoder's packed DIB. False when it cannot.
bool DeliverFrame(FrameDecoder* d, const AVFrame* frame)
{
    const int w = frame->width, h = frame->height;
    if (w < 1 || h < 1) return false;
    const uint64_t stride = ((uint64_t(w) * 24 + 31) / 32) * 4;
    const uint64_t image = stride * uint64_t(h);
    if (image + 40 > kMaxFrameBytes) return false;
    d->scaler = sws_getCachedContext(d->scaler, w, h, AVPixelFormat(frame->format), w, h,
                                     AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (d->scaler == nullptr || !EnsurePaddedFrame(&d->converted, AV_PIX_FMT_BGR24, w, h))
        return false;
    if (sws_scale(d->scaler, frame->data, frame->linesize, 0, h, d->converted->data,
                  d->converted->linesize) != h)
        return false;
    d->dib.assign(size_t(40 + image), 0);

    gfx::DibHeader header{};
    header.biSize = 40;
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = gfx::kBiRgb;
    header.biSizeImage = uint32_t(image);
    std::memcpy(d->dib.data(), &header, sizeof(header));
    // Bottom-up: the top row goes last in memory.
    CopyFrameToBottomUp(d->converted, d->dib.data() + 40, uint32_t(stride), h, uint32_t(w) * 3);
    return true;
}

enum class Found { No, Exact, Past };

// Looks at one decoded frame for `position`: keeps it as the latest earlier
// frame, or reports that it is the one or lies past it.
Found Consider(FrameDecoder* d, AVFrame* frame, int64_t position, int64_t* lastIndex)
{
    const AVStream* st = d->input->format->streams[d->input->index];
    int64_t index = *lastIndex + 1;
    if (!d->input->countFrames) {
        if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
            index = FrameIndex(d->input, st, frame->best_effort_timestamp);
    } else if (!d->reorders && frame->pkt_dts != AV_NOPTS_VALUE) {
        // Decoded in file order: the chunk's own number, which also skips
        // over empty chunks that the demuxer does not hand out.
        index = frame->pkt_dts;
    }
    *lastIndex = index;
    if (index == position) return Found::Exact;
    if (index > position) return Found::Past;
    av_frame_unref(d->held);
    av_frame_move_ref(d->held, frame);
    return Found::No;
}

}  // namespace

InputStream* OpenInputStream(const char* fileName)
{
    QuietFfmpegLog();
    if (fileName == nullptr || fileName[0] == '\0') return nullptr;
    auto* in = new (std::nothrow) InputStream;
    if (in == nullptr) return nullptr;
    if (avformat_open_input(&in->format, fileName, nullptr, nullptr) < 0) {
        delete in;
        return nullptr;
    }

    AviVideoHeader avi;
    const bool isAvi = std::strcmp(in->format->iformat->name, "avi") == 0 &&
                       ReadAviVideoHeader(fileName, &avi);
    avformat_find_stream_info(in->format, nullptr);

    AVFormatContext* fmt = in->format;
    if (isAvi && avi.streamIndex >= 0 && unsigned(avi.streamIndex) < fmt->nb_streams &&
        fmt->streams[avi.streamIndex]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        in->index = avi.streamIndex;
    } else {
        for (unsigned i = 0; i < fmt->nb_streams; ++i) {
            const AVStream* st = fmt->streams[i];
            if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                (st->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
                in->index = int(i);
                break;
            }
        }
    }
    if (in->index < 0) {
        Release(in);
        return nullptr;
    }

    AVStream* st = fmt->streams[in->index];
    if (isAvi && in->index == avi.streamIndex) {
        in->info = avi.info;
        in->formatBytes = std::move(avi.format);
        in->length = int32_t(avi.info.dwLength);
        // AVI timestamps count frames from the stream's start value, which
        // is also where the stream's positions begin.
        in->frameRate = RateFromHeader(avi.info.dwRate, avi.info.dwScale);
        if (!ValidRate(in->frameRate)) in->frameRate = av_inv_q(st->time_base);
        in->start = 0;
        in->countFrames = true;
        ReadPalette(in);
    } else {
        in->frameRate = st->avg_frame_rate;
        if (!ValidRate(in->frameRate)) in->frameRate = st->r_frame_rate;
        if (!ValidRate(in->frameRate)) in->frameRate = av_inv_q(st->time_base);
        in->start = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
        SynthesizeHeader(st, in);
    }
    return in;
}

bool ReadFormat(InputStream* in, void* format, int32_t* size)
{
    if (in == nullptr || format == nullptr || size == nullptr || *size < 0) return false;
    if (in->formatBytes.size() < sizeof(gfx::DibHeader) || size_t(*size) < sizeof(gfx::DibHeader))
        return false;
    const size_t copied = std::min(size_t(*size), in->formatBytes.size());
    std::memcpy(format, in->formatBytes.data(), copied);
    *size = int32_t(copied);
    return true;
}

bool ReadInfo(InputStream* in, StreamInfo* info, int32_t size)
{
    if (in == nullptr || info == nullptr || size < int32_t(sizeof(StreamInfo))) return false;
    *info = in->info;
    return true;
}

int32_t StreamLength(InputStream* in) { return in != nullptr ? in->length : 0; }

FrameDecoder* OpenFrameDecoder(InputStream* in)
{
    if (in == nullptr) return nullptr;
    const AVCodecParameters* par = in->format->streams[in->index]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (codec == nullptr) return nullptr;
    auto* d = new (std::nothrow) FrameDecoder;
    if (d == nullptr) return nullptr;
    d->input = in;
    d->codec = avcodec_alloc_context3(codec);
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    d->held = av_frame_alloc();
    if (d->codec == nullptr || d->packet == nullptr || d->frame == nullptr || d->held == nullptr ||
        avcodec_parameters_to_context(d->codec, par) < 0) {
        Close(d);
        return nullptr;
    }
    d->codec->thread_count = 1;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(par->codec_id);
    // Codecs that may reorder frames do so only in streams found to delay
    // frames (B-frames); streams without the delay are decoded in file order.
    d->reorders = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_REORDER) != 0 &&
                  par->video_delay > 0;
    if (avcodec_open2(d->codec, codec, nullptr) < 0) {
        Close(d);
        return nullptr;
    }
    return d;
}

const void* GetFrame(FrameDecoder* d, int32_t position)
{
    if (d == nullptr || position < 0 || !ValidRate(d->input->frameRate)) return nullptr;
    InputStream* in = d->input;
    AVStream* st = in->format->streams[in->index];

    const int64_t target = in->start + av_rescale_q(position, av_inv_q(in->frameRate), st->time_base);
    if (av_seek_frame(in->format, in->index, target, AVSEEK_FLAG_BACKWARD) < 0) {
        av_seek_frame(in->format, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_BACKWARD);
    } else if (d->reorders) {
        // Frames that are shown before the key frame they follow in the file
        // may refer to the group before it: start one key frame earlier.
        int64_t landed = AV_NOPTS_VALUE;
        while (av_read_frame(in->format, d->packet) >= 0) {
            const bool ours = d->packet->stream_index == in->index;
            if (ours) landed = d->packet->dts != AV_NOPTS_VALUE ? d->packet->dts : d->packet->pts;
            av_packet_unref(d->packet);
            if (ours) break;
        }
        const int64_t earlier = landed != AV_NOPTS_VALUE ? std::min(landed, target) - 1 : target;
        if (av_seek_frame(in->format, in->index, earlier, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(in->format, in->index, target, AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(d->codec);
    av_frame_unref(d->held);

    int64_t lastIndex = -1;
    bool started = false;
    bool draining = false;
    for (;;) {
        if (!draining) {
            const int r = av_read_frame(in->format, d->packet);
            if (r < 0) {
                draining = true;
                avcodec_send_packet(d->codec, nullptr);
            } else if (d->packet->stream_index != in->index) {
                av_packet_unref(d->packet);
                continue;
            } else {
                if (!started) {
                    started = true;
                    // Counting starts at the chunk the seek landed on.
                    if (in->countFrames && d->packet->dts != AV_NOPTS_VALUE)
                        lastIndex = d->packet->dts - 1;
                    if (!in->palette.empty() &&
                        av_packet_get_side_data(d->packet, AV_PKT_DATA_PALETTE, nullptr) == nullptr) {
                        uint8_t* side = av_packet_new_side_data(d->packet, AV_PKT_DATA_PALETTE,
                                                                AVPALETTE_SIZE);
                        if (side != nullptr) std::memcpy(side, in->palette.data(), AVPALETTE_SIZE);
                    }
                }
                if (d->packet->size > 0) {
                    avcodec_send_packet(d->codec, d->packet);
                } else if (in->countFrames) {
                    // An empty chunk holds its position and repeats the
                    // frame before it (an empty packet would also read as
                    // the end of the stream to the decoder).
                    av_packet_unref(d->packet);
                    ++lastIndex;
                    if (lastIndex == position && d->held->buf[0] != nullptr)
                        return DeliverFrame(d, d->held) ? d->dib.data() : nullptr;
                    if (lastIndex >= position) return nullptr;
                    continue;
                }
                av_packet_unref(d->packet);
            }
        }
        for (;;) {
            const int r = avcodec_receive_frame(d->codec, d->frame);
            if (r < 0) break;
            switch (Consider(d, d->frame, position, &lastIndex)) {
            case Found::Exact: {
                const bool ok = DeliverFrame(d, d->frame);
                av_frame_unref(d->frame);
                return ok ? d->dib.data() : nullptr;
            }
            case Found::Past:
                av_frame_unref(d->frame);
                // The wanted position holds no frame of its own (an empty
                // chunk): show the one before it, as players do.
                if (d->held->buf[0] != nullptr) return DeliverFrame(d, d->held) ? d->dib.data() : nullptr;
                return nullptr;
            case Found::No:
                break;
            }
        }
        if (draining) break;
    }
    // Decoded in file order, an AVI stream met every position up to its last
    // chunk above; a longer stated length has no chunks behind it. Streams
    // that delay frames may hand out fewer frames than chunks (packed
    // B-frames), and other containers state their length from durations:
    // up to that length the last frame stays on show.
    const bool fileOrder = in->countFrames && !d->reorders;
    if (!fileOrder && d->held->buf[0] != nullptr && position < in->length)
        return DeliverFrame(d, d->held) ? d->dib.data() : nullptr;
    return nullptr;
}

void Close(FrameDecoder* d)
{
    if (d == nullptr) return;
    avcodec_free_context(&d->codec);
    av_packet_free(&d->packet);
    av_frame_free(&d->frame);
    av_frame_free(&d->held);
    av_frame_free(&d->converted);
    sws_freeContext(d->scaler);
    delete d;
}

void Release(InputStream* in)
{
    if (in == nullptr) return;
    avformat_close_input(&in->format);
    delete in;
}

}  // namespace qv::vsvc

#include "support/libav_decoded.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace qv::test {

namespace {
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
}  // namespace

std::vector<std::vector<uint8_t>> LibavDecodeBgr24(const std::string& path)
{
    std::vector<std::vector<uint8_t>> frames;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0) return frames;
    avformat_find_stream_info(in, nullptr);
    const int index = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = index >= 0 ? avcodec_find_decoder(in->streams[index]->codecpar->codec_id) : nullptr;
    AVCodecContext* dec = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    FramePtr decoded(av_frame_alloc());
    FramePtr bgr(av_frame_alloc());
    SwsContext* scaler = nullptr;
    if (dec != nullptr && avcodec_parameters_to_context(dec, in->streams[index]->codecpar) >= 0) {
        dec->thread_count = 1;
        if (avcodec_open2(dec, codec, nullptr) >= 0) {
            auto receive = [&]() {
                while (avcodec_receive_frame(dec, decoded.get()) >= 0) {
                    const int w = decoded->width, h = decoded->height;
                    scaler = sws_getCachedContext(scaler, w, h, AVPixelFormat(decoded->format), w, h,
                                                  AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
                    av_frame_unref(bgr.get());
                    bgr->format = AV_PIX_FMT_BGR24;
                    bgr->width = w;
                    bgr->height = h;
                    if (scaler == nullptr || av_frame_get_buffer(bgr.get(), 0) < 0) return;
                    sws_scale(scaler, decoded->data, decoded->linesize, 0, h, bgr->data, bgr->linesize);
                    std::vector<uint8_t> rows(size_t(w) * size_t(h) * 3);
                    for (int y = 0; y < h; ++y)
                        std::copy_n(bgr->data[0] + y * bgr->linesize[0], size_t(w) * 3, rows.data() + size_t(y) * size_t(w) * 3);
                    frames.push_back(std::move(rows));
                    av_frame_unref(decoded.get());
                }
            };
            while (av_read_frame(in, packet) >= 0) {
                if (packet->stream_index == index) avcodec_send_packet(dec, packet);
                av_packet_unref(packet);
                receive();
            }
            avcodec_send_packet(dec, nullptr);
            receive();
        }
    }
    sws_freeContext(scaler);
    avcodec_free_context(&dec);
    av_packet_free(&packet);
    avformat_close_input(&in);
    return frames;
}

}  // namespace qv::test

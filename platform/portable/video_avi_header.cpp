#include "platform/portable/video_avi_header.h"

#include <cstdio>
#include <cstring>

namespace qv::vsvc {

namespace {

constexpr uint32_t kMaxHeaderList = 16u << 20;

uint32_t Le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

struct FileCloser {
    std::FILE* f;
    ~FileCloser()
    {
        if (f != nullptr) std::fclose(f);
    }
};

void ReadStreamHeader(const uint8_t* p, uint32_t size, StreamInfo* info)
{
    std::memset(info, 0, sizeof(*info));
    info->fccType = Le32(p);
    info->fccHandler = Le32(p + 4);
    info->dwFlags = Le32(p + 8);
    info->wPriority = Le16(p + 12);
    info->wLanguage = Le16(p + 14);
    info->dwInitialFrames = Le32(p + 16);
    info->dwScale = Le32(p + 20);
    info->dwRate = Le32(p + 24);
    info->dwStart = Le32(p + 28);
    info->dwLength = Le32(p + 32);
    info->dwSuggestedBufferSize = Le32(p + 36);
    info->dwQuality = Le32(p + 40);
    info->dwSampleSize = Le32(p + 44);
    if (size >= 56) {
        info->rcLeft = int16_t(Le16(p + 48));
        info->rcTop = int16_t(Le16(p + 50));
        info->rcRight = int16_t(Le16(p + 52));
        info->rcBottom = int16_t(Le16(p + 54));
    }
}

// Walks the chunks of one strl list; true when it is a video stream.
bool ReadStreamList(const uint8_t* p, uint32_t size, bool* isStream, AviVideoHeader* out)
{
    bool video = false;
    bool haveHeader = false;
    StreamInfo info{};
    std::vector<uint8_t> format;
    uint32_t at = 0;
    while (size - at >= 8) {
        const uint32_t id = Le32(p + at);
        const uint32_t chunkSize = Le32(p + at + 4);
        const uint8_t* body = p + at + 8;
        const uint32_t room = size - at - 8;
        if (chunkSize > room) break;
        if (id == FourCC('s', 't', 'r', 'h') && !haveHeader && chunkSize >= 48) {
            ReadStreamHeader(body, chunkSize, &info);
            haveHeader = true;
            video = info.fccType == kStreamTypeVideo;
        } else if (id == FourCC('s', 't', 'r', 'f') && format.empty()) {
            format.assign(body, body + chunkSize);
        }
        const uint32_t step = chunkSize + (chunkSize & 1);
        if (step > room) break;
        at += 8 + step;
    }
    *isStream = haveHeader && info.fccType != FourCC('p', 'a', 'd', 's');
    if (!video) return false;
    out->info = info;
    out->format = std::move(format);
    return true;
}

}  // namespace

bool ReadAviVideoHeader(const char* fileName, AviVideoHeader* out)
{
    if (fileName == nullptr) return false;
    FileCloser file{std::fopen(fileName, "rb")};
    if (file.f == nullptr) return false;
    uint8_t riff[12];
    if (std::fread(riff, 1, 12, file.f) != 12 || Le32(riff) != FourCC('R', 'I', 'F', 'F') ||
        Le32(riff + 8) != FourCC('A', 'V', 'I', ' '))
        return false;

    // The header list normally comes first; a few chunks before it are allowed.
    std::vector<uint8_t> list;
    for (int chunks = 0; chunks < 16; ++chunks) {
        uint8_t head[12];
        if (std::fread(head, 1, 8, file.f) != 8) return false;
        const uint32_t size = Le32(head + 4);
        if (Le32(head) == FourCC('L', 'I', 'S', 'T') && size >= 4) {
            if (std::fread(head + 8, 1, 4, file.f) != 4) return false;
            if (Le32(head + 8) == FourCC('h', 'd', 'r', 'l')) {
                if (size - 4 > kMaxHeaderList) return false;
                list.resize(size - 4);
                // A truncated header list is read as far as it goes.
                list.resize(std::fread(list.data(), 1, list.size(), file.f));
                break;
            }
            if (std::fseek(file.f, long(size - 4 + (size & 1)), SEEK_CUR) != 0) return false;
        } else if (std::fseek(file.f, long(size) + long(size & 1), SEEK_CUR) != 0) {
            return false;
        }
    }
    if (list.empty()) return false;

    const uint8_t* p = list.data();
    const uint32_t size = uint32_t(list.size());
    uint32_t at = 0;
    int32_t streams = 0;
    while (size - at >= 8) {
        const uint32_t id = Le32(p + at);
        const uint32_t chunkSize = Le32(p + at + 4);
        const uint32_t room = size - at - 8;
        if (chunkSize > room) break;
        if (id == FourCC('L', 'I', 'S', 'T') && chunkSize >= 4 &&
            Le32(p + at + 8) == FourCC('s', 't', 'r', 'l')) {
            bool isStream = false;
            if (ReadStreamList(p + at + 12, chunkSize - 4, &isStream, out)) {
                out->streamIndex = streams;
                return true;
            }
            if (isStream) ++streams;
        }
        const uint32_t step = chunkSize + (chunkSize & 1);
        if (step > room) break;
        at += 8 + step;
    }
    return false;
}

}  // namespace qv::vsvc

#include "platform/portable/video_avi_muxer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qv::vsvc {

namespace {

constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kEmptyChunkId = FourCC('0', '0', 'd', 'c');

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void PutFourCC(std::vector<uint8_t>& out, const char* code)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(code[i]));
}
void Patch32(std::vector<uint8_t>& out, std::size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = uint8_t(v >> (8 * i));
}
uint32_t Clamp32(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); }
uint64_t Padded(uint64_t size) { return size + (size & 1); }

}  // namespace

AviMuxer::~AviMuxer()
{
    if (file_ != nullptr) std::fclose(file_);
}

bool AviMuxer::Open(const char* fileName)
{
    if (fileName == nullptr || fileName[0] == '\0') return false;
    file_ = std::fopen(fileName, "wb");
    if (file_ == nullptr) return false;
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    return true;
}

void AviMuxer::SetStream(const StreamInfo& info)
{
    info_ = info;
    hasStream_ = true;
}

bool AviMuxer::SetFormat(const uint8_t* format, uint32_t size)
{
    if (headerWritten_ || !hasStream_ || size < 40 || size > (1u << 20)) return false;
    format_.assign(format, format + size);
    return true;
}

std::vector<uint8_t> AviMuxer::BuildHeader() const
{
    const uint64_t frames = std::max<uint64_t>(nextPosition_, info_.dwLength);
    const uint32_t suggested = std::max(info_.dwSuggestedBufferSize, maxChunk_);
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    if (info_.dwRate != 0) {
        microSecPerFrame = Clamp32((uint64_t(info_.dwScale) * 1000000u + info_.dwRate / 2) / info_.dwRate);
        if (info_.dwScale != 0)
            maxBytesPerSec = Clamp32(uint64_t(maxChunk_) * info_.dwRate / info_.dwScale);
    }
    int32_t width = info_.rcRight - info_.rcLeft;
    int32_t height = info_.rcBottom - info_.rcTop;

    std::vector<uint8_t> h;
    PutFourCC(h, "RIFF");
    Put32(h, 0);  // patched on Close
    PutFourCC(h, "AVI ");
    PutFourCC(h, "LIST");
    const std::size_t hdrlSizeAt = h.size();
    Put32(h, 0);
    PutFourCC(h, "hdrl");

    PutFourCC(h, "avih");
    Put32(h, 56);
    Put32(h, microSecPerFrame);
    Put32(h, maxBytesPerSec);
    Put32(h, 0);  // padding granularity
    Put32(h, kAvifHasIndex);
    Put32(h, Clamp32(nextPosition_));
    Put32(h, 0);  // initial frames
    Put32(h, hasStream_ ? 1 : 0);
    Put32(h, suggested);
    Put32(h, uint32_t(width));
    Put32(h, uint32_t(height));
    for (int i = 0; i < 4; ++i) Put32(h, 0);

    if (hasStream_) {
        PutFourCC(h, "LIST");
        const std::size_t strlSizeAt = h.size();
        Put32(h, 0);
        PutFourCC(h, "strl");
        PutFourCC(h, "strh");
        Put32(h, 56);
        Put32(h, info_.fccType);
        Put32(h, info_.fccHandler);
        Put32(h, info_.dwFlags);
        Put16(h, info_.wPriority);
        Put16(h, info_.wLanguage);
        Put32(h, info_.dwInitialFrames);
        Put32(h, info_.dwScale);
        Put32(h, info_.dwRate);
        Put32(h, info_.dwStart);
        Put32(h, Clamp32(frames));
        Put32(h, suggested);
        Put32(h, info_.dwQuality);
        Put32(h, info_.dwSampleSize);
        // rcFrame is stored as four 16-bit values.
        Put16(h, uint16_t(info_.rcLeft));
        Put16(h, uint16_t(info_.rcTop));
        Put16(h, uint16_t(info_.rcRight));
        Put16(h, uint16_t(info_.rcBottom));
        if (!format_.empty()) {
            PutFourCC(h, "strf");
            Put32(h, uint32_t(format_.size()));
            const size_t at = h.size();
            h.resize(at + format_.size() + (format_.size() & 1), 0);
            std::memcpy(h.data() + at, format_.data(), format_.size());
        }
        Patch32(h, strlSizeAt, uint32_t(h.size() - strlSizeAt - 4));
    }
    Patch32(h, hdrlSizeAt, uint32_t(h.size() - hdrlSizeAt - 4));

    PutFourCC(h, "LIST");
    Put32(h, 0);  // movi size, patched on Close
    PutFourCC(h, "movi");
    return h;
}

bool AviMuxer::Put(const void* data, std::size_t size)
{
    if (failed_) return false;
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) failed_ = true;
    return !failed_;
}

bool AviMuxer::Flushed()
{
    if (!failed_ && std::fflush(file_) != 0) failed_ = true;
    return !failed_;
}

bool AviMuxer::WriteHeader()
{
    const std::vector<uint8_t> header = BuildHeader();
    if (!Put(header.data(), header.size())) return false;
    moviFourccOffset_ = header.size() - 4;
    fileEnd_ = header.size();
    headerWritten_ = true;
    return true;
}

uint64_t AviMuxer::ProjectedSize(uint64_t gap, uint32_t size) const
{
    const uint64_t headerBytes = headerWritten_ ? 0 : BuildHeader().size();
    const uint64_t movi = fileEnd_ + headerBytes + gap * 8 + 8 + Padded(size);
    return movi + 8 + (indexEntries_ + gap + 1) * 16;
}

bool AviMuxer::CanWrite(uint32_t position, uint32_t size) const
{
    if (file_ == nullptr || failed_ || !hasStream_ || position < nextPosition_) return false;
    return ProjectedSize(position - nextPosition_, size) <= kMaxFileBytes;
}

bool AviMuxer::WriteChunk(uint32_t position, uint32_t chunkId, const uint8_t* data, uint32_t size,
                          bool keyFrame)
{
    if (!CanWrite(position, size)) return false;
    if (!headerWritten_ && !WriteHeader()) return false;

    const uint64_t gap = position - nextPosition_;
    if (gap != 0) {
        uint8_t empty[8];
        std::memcpy(empty, &kEmptyChunkId, 4);
        std::memset(empty + 4, 0, 4);
        const uint32_t firstOffset = uint32_t(fileEnd_ - moviFourccOffset_);
        for (uint64_t i = 0; i < gap; ++i)
            if (!Put(empty, sizeof(empty))) return false;
        if (!Flushed()) return false;
        index_.push_back({kEmptyChunkId, 0, firstOffset, 0, uint32_t(gap)});
        indexEntries_ += gap;
        fileEnd_ += gap * 8;
    }

    uint8_t chunkHeader[8];
    std::memcpy(chunkHeader, &chunkId, 4);
    std::memcpy(chunkHeader + 4, &size, 4);
    const uint8_t pad = 0;
    if (!Put(chunkHeader, 8) || !Put(data, size) || ((size & 1) && !Put(&pad, 1))) return false;
    // A frame counts as written only once its bytes have left the stream's
    // buffer: a full disk must fail the call that wrote them.
    if (!Flushed()) return false;
    index_.push_back({chunkId, keyFrame ? kKeyFrameFlag : 0, uint32_t(fileEnd_ - moviFourccOffset_),
                      size, 1});
    indexEntries_ += 1;
    fileEnd_ += 8 + Padded(size);
    nextPosition_ = uint64_t(position) + 1;
    maxChunk_ = std::max(maxChunk_, size);
    return true;
}

void AviMuxer::Close()
{
    if (file_ == nullptr) return;
    // Building the index and header needs memory; without it the file keeps
    // what was written, and is closed all the same.
    try {
        if (!headerWritten_) WriteHeader();
        // Whatever happened to the chunks, the index describes the ones that
        // were written completely.
        failed_ = false;
        WriteIndexAndHeader();
    } catch (const std::bad_alloc&) {
    }
    std::fclose(file_);
    file_ = nullptr;
}

void AviMuxer::WriteIndexAndHeader()
{
    if (std::fseek(file_, long(fileEnd_), SEEK_SET) == 0) {
        const uint64_t moviSize = fileEnd_ - moviFourccOffset_;
        std::vector<uint8_t> idx;
        idx.reserve(8 + std::size_t(indexEntries_) * 16);
        PutFourCC(idx, "idx1");
        Put32(idx, uint32_t(indexEntries_ * 16));
        for (const IndexRun& run : index_) {
            for (uint32_t i = 0; i < run.count; ++i) {
                Put32(idx, run.chunkId);
                Put32(idx, run.flags);
                Put32(idx, run.offset + 8 * i);
                Put32(idx, run.size);
            }
        }
        Put(idx.data(), idx.size());
        const uint64_t total = fileEnd_ + idx.size();

        std::vector<uint8_t> header = BuildHeader();
        Patch32(header, 4, uint32_t(total - 8));
        Patch32(header, header.size() - 8, uint32_t(moviSize));  // 'movi' and the chunks
        if (std::fseek(file_, 0, SEEK_SET) == 0) Put(header.data(), header.size());
    }
}

}  // namespace qv::vsvc

// A small AVI 1.0 muxer for one video stream. libavformat's muxer reduces the
// stream's scale and rate and files every frame as compressed; this one keeps
// the header exactly as given, files uncompressed frames as '00db' and
// compressed ones as '00dc', and writes an idx1 whose key-frame flags are the
// ones handed in.
//
// Layout: RIFF 'AVI ' { LIST 'hdrl' { avih, LIST 'strl' { strh, strf } },
// LIST 'movi' { chunks }, idx1 }. The header is written before the first
// chunk and rewritten with the final counts on Close; its size never changes
// after that because the format is fixed by then.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/video_service.h"

namespace qv::vsvc {

class AviMuxer {
public:
    // AVI 1.0 files stay below this size (no OpenDML extension is written).
    static constexpr uint64_t kMaxFileBytes = uint64_t(1) << 30;

    AviMuxer() = default;
    AviMuxer(const AviMuxer&) = delete;
    AviMuxer& operator=(const AviMuxer&) = delete;
    ~AviMuxer();

    bool Open(const char* fileName);
    // The one video stream. Must come before SetFormat and any chunk.
    void SetStream(const StreamInfo& info);
    bool HasStream() const { return hasStream_; }
    // The strf payload (BITMAPINFOHEADER and codec data). Only before the
    // first chunk.
    bool SetFormat(const uint8_t* format, uint32_t size);
    // The compressor's code for strh.fccHandler, as the compressing stream
    // records it.
    void SetHandler(uint32_t fcc) { info_.fccHandler = fcc; }
    bool HasFormat() const { return !format_.empty(); }

    // Writes one chunk at `position`; positions skipped since the last chunk
    // are filled with empty '00dc' chunks so that later frames keep their
    // positions. False (nothing written) for a position at or before the last
    // one, when the file would grow past kMaxFileBytes, or on a write error.
    bool WriteChunk(uint32_t position, uint32_t chunkId, const uint8_t* data, uint32_t size,
                    bool keyFrame);
    // Whether a chunk of `size` bytes at `position` would be accepted.
    bool CanWrite(uint32_t position, uint32_t size) const;
    // Number of frame slots written so far (the next free position).
    uint64_t NextPosition() const { return nextPosition_; }

    // Completes the file (index, final header) and closes it.
    void Close();

private:
    struct IndexRun {
        uint32_t chunkId;
        uint32_t flags;
        uint32_t offset;  // of the first chunk header, from the 'movi' four-character code
        uint32_t size;
        uint32_t count;   // > 1 only for runs of empty chunks, 8 bytes apart
    };

    std::vector<uint8_t> BuildHeader() const;
    bool WriteHeader();
    void WriteIndexAndHeader();
    bool Put(const void* data, std::size_t size);
    // Pushes buffered bytes to the file; false (and failed) when they did not all go.
    bool Flushed();
    uint64_t ProjectedSize(uint64_t gap, uint32_t size) const;

    std::FILE* file_ = nullptr;
    bool failed_ = false;
    bool hasStream_ = false;
    bool headerWritten_ = false;
    StreamInfo info_{};
    std::vector<uint8_t> format_;
    std::vector<IndexRun> index_;
    uint64_t indexEntries_ = 0;
    uint64_t nextPosition_ = 0;
    uint64_t moviFourccOffset_ = 0;  // file offset of the 'movi' list type
    uint64_t fileEnd_ = 0;           // end of the last chunk written
    uint32_t maxChunk_ = 0;
};

}  // namespace qv::vsvc

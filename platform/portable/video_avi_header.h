// Reads the header list of an AVI file as stored: the stream header and the
// format of its first video stream, unreduced and with the sign of the
// height kept, which libavformat does not preserve.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/video_service.h"

namespace qv::vsvc {

struct AviVideoHeader {
    int32_t streamIndex = -1;  // among the file's streams, in header order
    StreamInfo info{};         // from strh; rcFrame widened from 16 bits
    std::vector<uint8_t> format;  // the strf payload, possibly empty
};

// True when the file is a RIFF AVI whose header list names a video stream.
// Every size read from the file is checked against what is there.
bool ReadAviVideoHeader(const char* fileName, AviVideoHeader* out);

}  // namespace qv::vsvc

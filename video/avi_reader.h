// Stream information and single-frame drawing from the first video stream of
// a file, over the video-file service. Each call opens and releases
// everything it uses.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

namespace qv::video {

// 0 ok; 1 no video stream; 2 format unreadable; 3 stream header unreadable.
int32_t ReadAviInfo(const char* fileName, int32_t* widthOut, int32_t* heightOut, float* rateOut,
                    int32_t* lengthOut);

// 0 drawn; 1 no video stream; 2 format unreadable; 3 no decoder; 4 no frame
// at that position; 5 the drawing call failed.
int32_t DrawAviFrame(QvDC targetDC, const char* fileName, int32_t framePosition, float zoom);

// dwRate / dwScale formed in double precision and rounded to single: rate
// unsigned, scale signed. A scale of 0 gives 0 (the quotient is not formed).
float StreamRate(uint32_t rate, uint32_t scale);

}  // namespace qv::video

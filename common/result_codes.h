// The result codes of the public functions, one list for the whole library.
// <quorvane/quorvane.h> documents them to hosts; every layer returns them
// from here by name, never as bare numbers. Within a function the codes
// number its steps in the order in which they run, so a code tells a host
// how far the call got.
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

namespace qv::result {

// DrawMorph
inline constexpr int32_t kMorphOk = MORPH_OK;
inline constexpr int32_t kMorphNoMemory = MORPH_NO_MEMORY;
inline constexpr int32_t kMorphBadSize = MORPH_BAD_SIZE;
inline constexpr int32_t kMorphNotBound = MORPH_NOT_BOUND;

// RenderCompressedStart
inline constexpr int32_t kAviStartOk = 0;
inline constexpr int32_t kAviNoRecordMemory = 1;
inline constexpr int32_t kAviFileNotCreated = 2;
inline constexpr int32_t kAviStreamNotCreated = 3;
inline constexpr int32_t kAviChoiceCancelled = 4;
inline constexpr int32_t kAviNoCompressor = 5;
inline constexpr int32_t kAviFormatRefused = 6;
inline constexpr int32_t kAviNoFrameMemory = 7;

// RenderCompressed
inline constexpr int32_t kAviFrameWritten = 0;
inline constexpr int32_t kAviFrameNotWritten = 1;

// GetAVIinfo
inline constexpr int32_t kInfoOk = 0;
inline constexpr int32_t kInfoNoVideoStream = 1;
inline constexpr int32_t kInfoFormatUnreadable = 2;
inline constexpr int32_t kInfoHeaderUnreadable = 3;

// GetAVIframe
inline constexpr int32_t kDrawFrameOk = 0;
inline constexpr int32_t kDrawFrameNoVideoStream = 1;
inline constexpr int32_t kDrawFrameFormatUnreadable = 2;
inline constexpr int32_t kDrawFrameNoDecoder = 3;
inline constexpr int32_t kDrawFrameNoSuchFrame = 4;
inline constexpr int32_t kDrawFrameNotDrawn = 5;

// RenderAnimatedGIFStart
inline constexpr int32_t kGifStartOk = 0;
inline constexpr int32_t kGifStartNoRecord = 1;
inline constexpr int32_t kGifStartFileNotOpened = 2;
inline constexpr int32_t kGifStartNoWorkBitmap = 3;
inline constexpr int32_t kGifStartHeaderNotWritten = 4;

// RenderAnimatedGIF
inline constexpr int32_t kGifFrameOk = 0;
inline constexpr int32_t kGifFrameNoWriter = 1;
inline constexpr int32_t kGifFrameNotQuantised = 2;
inline constexpr int32_t kGifFrameNoPalette = 3;
inline constexpr int32_t kGifFrameNotWritten = 4;

// SaveToFreeImage: the one function that reports success as 1.
inline constexpr int32_t kStillNotSaved = 0;
inline constexpr int32_t kStillSaved = 1;

}  // namespace qv::result

// The three pixel buffers of a DrawMorph call. Each thread keeps the buffers
// of its last call and reuses them when they are large enough: a frame then
// costs no allocation, no page faults and no zeroing, which at video sizes
// is more than the rendering itself.
#pragma once

#include <cstdint>

namespace qv::morph {

enum class BufferSlot { Source = 0, Destination = 1, Output = 2 };

// Room for `count` pixels in the calling thread's buffer for `slot`; its
// content is unspecified. Null when the memory cannot be had.
uint32_t* AcquirePixels(BufferSlot slot, uint32_t count);

// Frees the calling thread's buffers (they are freed at thread exit anyway).
void ReleaseThreadPixelBuffers();

// Fills a buffer with one 32-bit word (the background fill of the output),
// in the widest stores the processor has: the build itself targets the
// baseline instruction set.
void FillWords(uint32_t* words, uint32_t count, uint32_t value);

}  // namespace qv::morph

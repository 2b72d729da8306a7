// Filling a buffer with one 32-bit word, in the widest stores the processor
// has (the build itself targets the baseline instruction set).
#pragma once

#include <cstdint>

namespace qv::morph {

void FillWords(uint32_t* words, uint32_t count, uint32_t value);

}  // namespace qv::morph

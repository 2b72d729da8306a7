#include "gif/bit_accumulator.h"

#include <bit>
#include <cstring>

namespace qv::gif {

namespace {

constexpr uint32_t kLastWord = BitAccumulator::kWordCount - 1;

}  // namespace

void BitAccumulator::clear()
{
    words.fill(0);
    count = 0;
}

// Equivalent to building a one-word accumulator and appending it, but it
// touches only the (at most two) words that receive bits.
void BitAccumulator::appendBits(uint32_t value, uint32_t width)
{
    const uint32_t masked = width < 32 ? value & ((uint32_t{1} << width) - 1u) : value;
    if (count < kCapacityBits) {
        const uint32_t word = count / 32;
        const uint32_t bit = count % 32;
        words[word] |= masked << bit;
        if (bit != 0 && word < kLastWord) {
            words[word + 1] |= masked >> (32 - bit);
        }
    }
    count += width;
}

void BitAccumulator::appendAccumulator(BitAccumulator other)
{
    other.shiftLeft(count);
    for (uint32_t i = 0; i < kWordCount; ++i) {
        words[i] |= other.words[i];
    }
    count += other.count;
}

// Whole-word moves: n = 32 * wordShift + bitShift.
void BitAccumulator::shiftLeft(uint32_t n)
{
    if (n >= kCapacityBits) {
        words.fill(0);
        return;
    }
    const uint32_t wordShift = n / 32;
    const uint32_t bitShift = n % 32;
    for (uint32_t i = kLastWord + 1; i-- > 0;) {
        uint32_t result = 0;
        if (i >= wordShift) {
            result = words[i - wordShift] << bitShift;
            if (bitShift != 0 && i > wordShift) {
                result |= words[i - wordShift - 1] >> (32 - bitShift);
            }
        }
        words[i] = result;
    }
}

void BitAccumulator::shiftRight(uint32_t n)
{
    if (n >= kCapacityBits) {
        words.fill(0);
        return;
    }
    const uint32_t wordShift = n / 32;
    const uint32_t bitShift = n % 32;
    for (uint32_t i = 0; i < kWordCount; ++i) {
        uint32_t result = 0;
        if (i + wordShift < kWordCount) {
            result = words[i + wordShift] >> bitShift;
            if (bitShift != 0 && i + wordShift < kLastWord) {
                result |= words[i + wordShift + 1] << (32 - bitShift);
            }
        }
        words[i] = result;
    }
}

uint8_t BitAccumulator::takeByte()
{
    const auto byte = static_cast<uint8_t>(words[0] & 0xFFu);
    if constexpr (std::endian::native == std::endian::little) {
        // On a little-endian machine the register's bytes lie in position
        // order, so an 8-bit right shift is a one-byte move of the block.
        auto* bytes = reinterpret_cast<unsigned char*>(words.data());
        std::memmove(bytes, bytes + 1, sizeof words - 1);
        bytes[sizeof words - 1] = 0;
    } else {
        for (uint32_t i = 0; i < kLastWord; ++i) {
            words[i] = (words[i] >> 8) | (words[i + 1] << 24);
        }
        words[kLastWord] >>= 8;
    }
    count = count >= 8 ? count - 8 : 0;
    return byte;
}

}  // namespace qv::gif

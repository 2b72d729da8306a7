// A 1024-bit queue that packs variable-width codes least-significant bit
// first: new bits go directly above the bits held, whole bytes come out of
// the bottom. The GIF code stream uses appendBits, takeByte and bitCount.
// clear, appendAccumulator and the two shifts are the rest of the register's
// documented behaviour: no export of the library reaches them (the class is
// internal), but tests/test_bit_accumulator.cpp and the fuzz target hold the
// whole register to a reference model, and the append is defined as a
// shift and merge.
#pragma once

#include <array>
#include <cstdint>

namespace qv::gif {

class BitAccumulator {
public:
    static constexpr uint32_t kWordCount = 32;
    static constexpr uint32_t kCapacityBits = kWordCount * 32;

    // Bit position p lives in bit (p % 32) of words[p / 32]; position 0 is
    // the oldest bit. Bits at or above `count` stay zero while callers keep
    // within the capacity.
    std::array<uint32_t, kWordCount> words{};
    uint32_t count = 0;

    BitAccumulator() = default;

    void clear();
    uint32_t bitCount() const { return count; }

    // Places the low `width` bits of value (all 32 when width >= 32) at
    // positions count .. count + width - 1; count grows by the full width.
    // Bits that would land above position 1023 are dropped.
    void appendBits(uint32_t value, uint32_t width);

    // Places other's bits above the bits held; count grows by other.count.
    void appendAccumulator(BitAccumulator other);

    // Move the whole register n positions toward position 1023 / toward 0;
    // zeros enter, bits leaving the register are lost, count is untouched.
    void shiftLeft(uint32_t n);
    void shiftRight(uint32_t n);

    // Removes and returns positions 0..7; count drops by 8, not below 0.
    uint8_t takeByte();
};

}  // namespace qv::gif

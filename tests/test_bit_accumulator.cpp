// BitAccumulator against its documented cases and against a reference
// register that moves one position per step, as the format's bit order is
// defined: every operation must leave the same 1024 bits and count.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>

#include "gif/bit_accumulator.h"

namespace {

using qv::gif::BitAccumulator;

// One-position-at-a-time model of the register.
struct ReferenceRegister {
    std::array<uint32_t, 32> words{};
    uint32_t count = 0;

    void stepLeft()
    {
        for (int i = 31; i >= 1; --i) {
            words[i] = (words[i] << 1) | (words[i - 1] >> 31);
        }
        words[0] <<= 1;
    }
    void stepRight()
    {
        for (int i = 0; i <= 30; ++i) {
            words[i] = (words[i] >> 1) | (words[i + 1] << 31);
        }
        words[31] >>= 1;
    }
    // Past 1024 steps the register is all zeros; stop stepping there.
    void shiftLeft(uint32_t n)
    {
        for (uint32_t s = 0; s < n && s < 1100; ++s) stepLeft();
    }
    void shiftRight(uint32_t n)
    {
        for (uint32_t s = 0; s < n && s < 1100; ++s) stepRight();
    }
    void appendAccumulator(ReferenceRegister other)
    {
        other.shiftLeft(count);
        for (int i = 0; i < 32; ++i) words[i] |= other.words[i];
        count += other.count;
    }
    void appendBits(uint32_t value, uint32_t width)
    {
        ReferenceRegister temp;
        temp.words[0] = width < 32 ? value & ((1u << width) - 1u) : value;
        temp.count = width;
        appendAccumulator(temp);
    }
    uint8_t takeByte()
    {
        const auto byte = static_cast<uint8_t>(words[0] & 0xFF);
        shiftRight(8);
        count = count >= 8 ? count - 8 : 0;
        return byte;
    }
};

uint32_t Draw(std::mt19937& random) { return static_cast<uint32_t>(random()); }

void ExpectSame(const BitAccumulator& fast, const ReferenceRegister& model, int step)
{
    ASSERT_EQ(fast.bitCount(), model.count) << "after step " << step;
    for (int i = 0; i < 32; ++i) {
        ASSERT_EQ(fast.words[i], model.words[i]) << "word " << i << " after step " << step;
    }
}

TEST(BitAccumulatorCases, NewAccumulatorIsEmptyAndTakesZero)
{
    BitAccumulator bits;
    EXPECT_EQ(bits.bitCount(), 0u);
    EXPECT_EQ(bits.takeByte(), 0x00);
    EXPECT_EQ(bits.bitCount(), 0u);
}

TEST(BitAccumulatorCases, NineOnesComeOutAsFFThenOne)
{
    BitAccumulator bits;
    bits.appendBits(0x1FF, 9);
    EXPECT_EQ(bits.takeByte(), 0xFF);
    EXPECT_EQ(bits.bitCount(), 1u);
    EXPECT_EQ(bits.takeByte(), 0x01);
    EXPECT_EQ(bits.bitCount(), 0u);
}

TEST(BitAccumulatorCases, WidthMasksHigherBits)
{
    BitAccumulator bits;
    bits.appendBits(0x3FF, 9);
    EXPECT_EQ(bits.words[0], 0x1FFu);
    EXPECT_EQ(bits.words[1], 0u);
    EXPECT_EQ(bits.bitCount(), 9u);
}

TEST(BitAccumulatorCases, NewBitsGoAboveOldOnes)
{
    BitAccumulator bits;
    bits.appendBits(5, 3);
    bits.appendBits(1, 1);
    EXPECT_EQ(bits.bitCount(), 4u);
    EXPECT_EQ(bits.words[0], 13u);
    EXPECT_EQ(bits.takeByte(), 0x0D);
    EXPECT_EQ(bits.bitCount(), 0u);
}

TEST(BitAccumulatorCases, TwoNineBitCodesMakeThreeBytes)
{
    BitAccumulator bits;
    bits.appendBits(0x101, 9);
    bits.appendBits(0x0AB, 9);
    EXPECT_EQ(bits.bitCount(), 18u);
    EXPECT_EQ(bits.takeByte(), 0x01);
    EXPECT_EQ(bits.takeByte(), 0x57);
    EXPECT_EQ(bits.takeByte(), 0x01);
    EXPECT_EQ(bits.bitCount(), 0u);
}

TEST(BitAccumulatorCases, WidthOf32AndAboveKeepsAllValueBits)
{
    BitAccumulator bits;
    bits.appendBits(0xDEADBEEF, 32);
    EXPECT_EQ(bits.words[0], 0xDEADBEEFu);
    EXPECT_EQ(bits.bitCount(), 32u);

    BitAccumulator wide;
    wide.appendBits(0x1, 1);
    wide.appendBits(0xCAFEF00D, 40);
    EXPECT_EQ(wide.bitCount(), 41u);
    EXPECT_EQ(wide.words[0], (0xCAFEF00Du << 1) | 1u);
    EXPECT_EQ(wide.words[1], 0xCAFEF00Du >> 31);  // positions 33..40 stay zero
    wide.appendBits(0x7, 3);
    EXPECT_EQ(wide.words[1], (0xCAFEF00Du >> 31) | (0x7u << 9));
}

TEST(BitAccumulatorCases, ZeroWidthChangesNothing)
{
    BitAccumulator bits;
    bits.appendBits(0x2A, 7);
    bits.appendBits(0xFFFFFFFF, 0);
    EXPECT_EQ(bits.bitCount(), 7u);
    EXPECT_EQ(bits.words[0], 0x2Au);
}

TEST(BitAccumulatorCases, BitCrossesWordBoundaryAndBack)
{
    BitAccumulator bits;
    bits.appendBits(0, 31);
    bits.appendBits(1, 1);
    EXPECT_EQ(bits.words[0], 0x80000000u);
    bits.shiftLeft(1);
    EXPECT_EQ(bits.words[0], 0u);
    EXPECT_EQ(bits.words[1], 1u);
    bits.shiftRight(1);
    EXPECT_EQ(bits.words[0], 0x80000000u);
    EXPECT_EQ(bits.words[1], 0u);
    EXPECT_EQ(bits.bitCount(), 32u);  // shifts leave the count alone
}

TEST(BitAccumulatorCases, TakeFromFewerThanEightBitsEmptiesWithoutWrap)
{
    BitAccumulator bits;
    bits.appendBits(0x5, 3);
    EXPECT_EQ(bits.takeByte(), 0x05);
    EXPECT_EQ(bits.bitCount(), 0u);
}

TEST(BitAccumulatorCases, ShiftsLoseBitsAtTheEnds)
{
    BitAccumulator bits;
    bits.words[31] = 0x80000001u;
    bits.shiftLeft(1);
    EXPECT_EQ(bits.words[31], 0x00000002u);
    bits.words[0] = 0x1u;
    bits.shiftRight(1);
    EXPECT_EQ(bits.words[0], 0u);
    EXPECT_EQ(bits.words[31], 0x1u);
    bits.shiftLeft(1024);
    for (uint32_t w : bits.words) EXPECT_EQ(w, 0u);
}

TEST(BitAccumulatorCases, ClearEmptiesEverything)
{
    BitAccumulator bits;
    bits.appendBits(0xFFFFFFFF, 32);
    bits.appendBits(0xFFFFFFFF, 32);
    bits.clear();
    EXPECT_EQ(bits.bitCount(), 0u);
    for (uint32_t w : bits.words) EXPECT_EQ(w, 0u);
}

TEST(BitAccumulatorCases, AppendAccumulatorPlacesOtherAboveAndAddsCounts)
{
    BitAccumulator low;
    low.appendBits(0x3, 2);
    BitAccumulator high;
    high.appendBits(0x1F, 5);
    high.appendBits(0x0, 30);  // the other's count, not its top bit, decides
    low.appendAccumulator(high);
    EXPECT_EQ(low.bitCount(), 37u);
    EXPECT_EQ(low.words[0], 0x7Fu);
    low.appendBits(1, 1);
    EXPECT_EQ(low.words[1], 1u << 5);
}

// Random mixes of every operation, each checked word by word against the
// one-step model; includes counts near and past the capacity.
TEST(BitAccumulatorModel, RandomOperationsMatchReference)
{
    std::mt19937 random(20261207);
    for (int run = 0; run < 200; ++run) {
        BitAccumulator fast;
        ReferenceRegister model;
        for (int step = 0; step < 120; ++step) {
            const uint32_t op = Draw(random) % 7;
            const uint32_t value = Draw(random);
            switch (op) {
            case 0:
            case 1: {
                const uint32_t width = Draw(random) % 41;
                fast.appendBits(value, width);
                model.appendBits(value, width);
                break;
            }
            case 2: {
                const uint8_t got = fast.takeByte();
                ASSERT_EQ(got, model.takeByte()) << "step " << step;
                break;
            }
            case 3: {
                const uint32_t n = Draw(random) % 1100;
                fast.shiftLeft(n);
                model.shiftLeft(n);
                break;
            }
            case 4: {
                const uint32_t n = Draw(random) % 1100;
                fast.shiftRight(n);
                model.shiftRight(n);
                break;
            }
            case 5: {
                BitAccumulator otherFast;
                ReferenceRegister otherModel;
                for (int k = 0; k < 3; ++k) {
                    const uint32_t v = Draw(random);
                    const uint32_t w = Draw(random) % 33;
                    otherFast.appendBits(v, w);
                    otherModel.appendBits(v, w);
                }
                fast.appendAccumulator(otherFast);
                model.appendAccumulator(otherModel);
                break;
            }
            default:
                if (Draw(random) % 8 == 0) {
                    fast.clear();
                    model = ReferenceRegister{};
                }
                break;
            }
            ExpectSame(fast, model, step);
            if (model.count > 1200) {  // keep most runs inside the capacity
                fast.clear();
                model = ReferenceRegister{};
            }
        }
    }
}

// The register at full capacity: 1024 bits in, 128 bytes out, in order.
TEST(BitAccumulatorModel, FullRegisterDrainsInAppendOrder)
{
    BitAccumulator fast;
    ReferenceRegister model;
    std::mt19937 random(7);
    std::array<uint8_t, 128> expected{};
    for (auto& b : expected) {
        b = static_cast<uint8_t>(Draw(random));
        fast.appendBits(b, 8);
        model.appendBits(b, 8);
    }
    ExpectSame(fast, model, 0);
    EXPECT_EQ(fast.bitCount(), 1024u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(fast.takeByte(), expected[i]) << i;
    }
    EXPECT_EQ(fast.bitCount(), 0u);
}

// The GIF writer's pattern: 9-bit codes, drained to fewer than 8 bits after
// each one.
TEST(BitAccumulatorModel, NineBitCodeStreamMatchesReference)
{
    BitAccumulator fast;
    ReferenceRegister model;
    std::mt19937 random(99);
    for (int i = 0; i < 5000; ++i) {
        const uint32_t code = Draw(random) % 512;
        fast.appendBits(code, 9);
        model.appendBits(code, 9);
        ASSERT_LE(fast.bitCount(), 16u);
        while (fast.bitCount() >= 8) {
            ASSERT_EQ(fast.takeByte(), model.takeByte()) << i;
        }
        ExpectSame(fast, model, i);
    }
}

}  // namespace

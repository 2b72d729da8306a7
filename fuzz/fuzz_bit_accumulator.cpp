// The bit accumulator against a plain model: a 1024-entry array of bits and
// a count, driven by every operation with arbitrary arguments.
#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "gif/bit_accumulator.h"

namespace {

struct Model {
    bool bits[1024] = {};
    uint32_t count = 0;

    void shiftLeft(uint32_t n)
    {
        for (int p = 1023; p >= 0; --p) bits[p] = static_cast<uint32_t>(p) >= n && n < 1024 ? bits[p - n] : false;
    }
    void shiftRight(uint32_t n)
    {
        for (uint32_t p = 0; p < 1024; ++p) bits[p] = n < 1024 && p + n < 1024 ? bits[p + n] : false;
    }
    void appendModel(Model other)
    {
        other.shiftLeft(count);
        for (int p = 0; p < 1024; ++p) bits[p] = bits[p] || other.bits[p];
        count += other.count;
    }
    void appendBits(uint32_t value, uint32_t width)
    {
        Model t;
        const uint32_t masked = width < 32 ? value & ((1u << width) - 1u) : value;
        for (int p = 0; p < 32; ++p) t.bits[p] = (masked >> p) & 1u;
        t.count = width;
        appendModel(t);
    }
    uint8_t takeByte()
    {
        uint8_t b = 0;
        for (int p = 0; p < 8; ++p) b = static_cast<uint8_t>(b | (bits[p] ? 1u << p : 0u));
        shiftRight(8);
        count = count >= 8 ? count - 8 : 0;
        return b;
    }
};

bool Same(const qv::gif::BitAccumulator& a, const Model& m)
{
    if (a.bitCount() != m.count) return false;
    for (uint32_t p = 0; p < 1024; ++p)
        if (((a.words[p / 32] >> (p % 32)) & 1u) != static_cast<uint32_t>(m.bits[p])) return false;
    return true;
}

uint32_t Amount(qvfuzz::Input& in)
{
    const uint8_t kind = in.byte();
    return kind < 200 ? kind % 40 : kind < 250 ? in.u16() % 1100 : in.u32();
}

}  // namespace

QV_FUZZ_TARGET(FuzzBitAccumulator)
{
    qvfuzz::Input in(data, size);
    qv::gif::BitAccumulator acc, other;
    Model model, otherModel;
    for (int step = 0; step < 256 && in.remaining() > 0; ++step) {
        switch (in.byte() % 8) {
        case 0: {
            const uint32_t value = in.u32(), width = Amount(in);
            acc.appendBits(value, width);
            model.appendBits(value, width);
            break;
        }
        case 1: {
            const uint32_t n = Amount(in);
            acc.shiftLeft(n);
            model.shiftLeft(n);
            break;
        }
        case 2: {
            const uint32_t n = Amount(in);
            acc.shiftRight(n);
            model.shiftRight(n);
            break;
        }
        case 3:
            if (acc.takeByte() != model.takeByte()) std::abort();
            break;
        case 4:
            acc.clear();
            model = Model{};
            break;
        case 5: {
            const uint32_t value = in.u32(), width = Amount(in);
            other.appendBits(value, width);
            otherModel.appendBits(value, width);
            break;
        }
        case 6:
            acc.appendAccumulator(other);
            model.appendModel(otherModel);
            break;
        default:
            other.clear();
            otherModel = Model{};
            break;
        }
        if (!Same(acc, model) || !Same(other, otherModel)) std::abort();
    }
    return 0;
}

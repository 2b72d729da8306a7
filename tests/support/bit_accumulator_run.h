// A run of BitAccumulator operations and the accumulator's whole state after
// each, in flat little-endian files, so that the Windows build of the
// accumulator (run under Wine) and the portable one replay the same
// operations and their states can be compared word for word. Header-only, so
// that the Windows host program builds it too.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gif/bit_accumulator.h"

namespace qv::test {

enum class BitOperation : uint32_t { Clear, AppendBits, AppendAccumulator, ShiftLeft, ShiftRight, TakeByte };

// AppendBits(a, b); AppendAccumulator with an accumulator holding
// appendBits(a, b) then appendBits(a ^ 0xFFFFFFFF, b / 2); the shifts by a.
struct BitStep {
    BitOperation operation = BitOperation::Clear;
    uint32_t a = 0, b = 0;
};

struct BitState {
    uint32_t words[qv::gif::BitAccumulator::kWordCount] = {};
    uint32_t count = 0;
    uint32_t taken = 0;  // takeByte's result; 0xFFFFFFFF after other steps
};

// Applies one step and returns the state after it.
inline BitState ApplyBitStep(qv::gif::BitAccumulator& accumulator, const BitStep& step)
{
    BitState state;
    state.taken = 0xFFFFFFFFu;
    switch (step.operation) {
    case BitOperation::Clear: accumulator.clear(); break;
    case BitOperation::AppendBits: accumulator.appendBits(step.a, step.b); break;
    case BitOperation::AppendAccumulator: {
        qv::gif::BitAccumulator other;
        other.appendBits(step.a, step.b);
        other.appendBits(step.a ^ 0xFFFFFFFFu, step.b / 2);
        accumulator.appendAccumulator(other);
        break;
    }
    case BitOperation::ShiftLeft: accumulator.shiftLeft(step.a); break;
    case BitOperation::ShiftRight: accumulator.shiftRight(step.a); break;
    case BitOperation::TakeByte: state.taken = accumulator.takeByte(); break;
    }
    for (uint32_t i = 0; i < qv::gif::BitAccumulator::kWordCount; ++i) state.words[i] = accumulator.words[i];
    state.count = accumulator.count;
    return state;
}

template <typename Item>
bool WriteItems(const std::string& path, const std::vector<Item>& items)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const uint32_t count = uint32_t(items.size());
    bool ok = std::fwrite(&count, sizeof count, 1, file) == 1 &&
              (count == 0 || std::fwrite(items.data(), sizeof(Item), count, file) == count);
    return std::fclose(file) == 0 && ok;
}

template <typename Item>
bool ReadItems(const std::string& path, std::vector<Item>& items)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    uint32_t count = 0;
    bool ok = std::fread(&count, sizeof count, 1, file) == 1 && count <= (1u << 24);
    if (ok) {
        items.resize(count);
        ok = count == 0 || std::fread(items.data(), sizeof(Item), count, file) == count;
    }
    std::fclose(file);
    return ok;
}

}  // namespace qv::test

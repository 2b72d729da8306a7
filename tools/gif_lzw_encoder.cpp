#include "gif_lzw_encoder.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace qvcli {

namespace {

constexpr int kMinCodeSize = 8;
constexpr int kClear = 1 << kMinCodeSize;
constexpr int kEnd = kClear + 1;
constexpr int kFirstFree = kClear + 2;
constexpr int kMaxCodes = 4096;  // 12-bit codes

// Codes packed least significant bit first.
class CodeWriter {
public:
    explicit CodeWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(int code, int bits)
    {
        pending_ |= static_cast<uint64_t>(code) << held_;
        held_ += bits;
        while (held_ >= 8) {
            out_.push_back(static_cast<uint8_t>(pending_));
            pending_ >>= 8;
            held_ -= 8;
        }
    }
    void Flush()
    {
        if (held_ > 0) out_.push_back(static_cast<uint8_t>(pending_));
        pending_ = 0;
        held_ = 0;
    }

private:
    std::vector<uint8_t>& out_;
    uint64_t pending_ = 0;
    int held_ = 0;
};

// The strings of the table: (prefix code, next index) -> code, open
// addressing over twice the largest table.
class StringTable {
public:
    void Clear() { keys_.fill(0); }
    // The code of the string, or -1.
    int Find(int prefix, uint8_t index) const
    {
        const uint32_t key = Key(prefix, index);
        for (uint32_t slot = Hash(key);; slot = (slot + 1) & kMask) {
            if (keys_[slot] == key) return codes_[slot];
            if (keys_[slot] == 0) return -1;
        }
    }
    void Add(int prefix, uint8_t index, int code)
    {
        const uint32_t key = Key(prefix, index);
        uint32_t slot = Hash(key);
        while (keys_[slot] != 0) slot = (slot + 1) & kMask;
        keys_[slot] = key;
        codes_[slot] = static_cast<uint16_t>(code);
    }

private:
    static constexpr uint32_t kSlots = 2 * kMaxCodes, kMask = kSlots - 1;
    // Never 0, so 0 marks an empty slot.
    static uint32_t Key(int prefix, uint8_t index) { return (static_cast<uint32_t>(prefix) << 8 | index) + 1; }
    static uint32_t Hash(uint32_t key) { return (key * 2654435761u) >> 19 & kMask; }
    std::array<uint32_t, kSlots> keys_{};
    std::array<uint16_t, kSlots> codes_{};
};

}  // namespace

std::vector<uint8_t> LzwCodeStream(const uint8_t* indices, std::size_t count, int tableLimit)
{
    if (tableLimit < 512 || tableLimit > kMaxCodes) throw std::invalid_argument("LZW table limit out of range");
    std::vector<uint8_t> out;
    out.reserve(count + count / 2 + 16);
    CodeWriter writer(out);
    StringTable table;

    // The width of the next code is the decoder's: it adds a string after
    // every code but the first after a clear code, and widens its codes when
    // its next free code reaches the next power of two. Tracking the
    // decoder's state keeps the two in step at every table limit.
    int width = kMinCodeSize + 1;
    int decoderNext = kFirstFree;
    bool firstAfterClear = true;
    auto emit = [&](int code) {
        writer.Put(code, width);
        if (code == kClear) {
            width = kMinCodeSize + 1;
            decoderNext = kFirstFree;
            firstAfterClear = true;
            return;
        }
        if (!firstAfterClear && decoderNext < kMaxCodes) {
            ++decoderNext;
            if (decoderNext == 1 << width && width < 12) ++width;
        }
        firstAfterClear = false;
    };

    emit(kClear);
    int next = kFirstFree;  // the encoder's next free code, one ahead of the decoder's
    if (count > 0) {
        int current = indices[0];
        for (std::size_t i = 1; i < count; ++i) {
            const uint8_t index = indices[i];
            const int found = table.Find(current, index);
            if (found >= 0) {
                current = found;
                continue;
            }
            emit(current);
            if (next < tableLimit) {
                table.Add(current, index, next++);
            } else {
                emit(kClear);
                table.Clear();
                next = kFirstFree;
            }
            current = index;
        }
        emit(current);
    }
    emit(kEnd);
    writer.Flush();
    return out;
}

std::vector<uint8_t> SmallestLzwCodeStream(const uint8_t* indices, std::size_t count)
{
    std::vector<uint8_t> best;
    for (const int limit : {1024, 2048, 4096}) {
        std::vector<uint8_t> stream = LzwCodeStream(indices, count, limit);
        if (best.empty() || stream.size() < best.size()) best = std::move(stream);
    }
    return best;
}

}  // namespace qvcli

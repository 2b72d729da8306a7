#include "platform/portable/nearest_color.h"

#include <algorithm>
#include <cstddef>

namespace qv::host {

namespace {

constexpr uint32_t kBoxBits = 5;
constexpr uint32_t kBoxShift = 8 - kBoxBits;
constexpr uint32_t kBoxes = 1u << (3 * kBoxBits);

inline int32_t Channel(uint32_t rgb, uint32_t shift) { return static_cast<int32_t>(rgb >> shift & 0xFF); }

inline int32_t Distance(uint32_t a, uint32_t b)
{
    const int32_t dr = Channel(a, 16) - Channel(b, 16);
    const int32_t dg = Channel(a, 8) - Channel(b, 8);
    const int32_t db = Channel(a, 0) - Channel(b, 0);
    return dr * dr + dg * dg + db * db;
}

// Squared distances from a value to the nearest and the farthest point of
// the range [low, high].
inline int32_t NearSquare(int32_t v, int32_t low, int32_t high)
{
    const int32_t d = v < low ? low - v : v > high ? v - high : 0;
    return d * d;
}
inline int32_t FarSquare(int32_t v, int32_t low, int32_t high)
{
    const int32_t d = std::max(v > low ? v - low : low - v, v > high ? v - high : high - v);
    return d * d;
}

}  // namespace

NearestColorIndex::NearestColorIndex(const uint32_t* palette, uint32_t count)
    : palette_(palette), count_(std::min<uint32_t>(count, 256))
{
}

uint32_t NearestColorIndex::operator()(uint32_t rgb)
{
    if (count_ == 0) return 0;
    if (boxStart_.empty()) {
        boxStart_.assign(kBoxes, 0);
        boxCount_.assign(kBoxes, 0);
        candidates_.reserve(size_t{1} << 16);
    }
    const uint32_t box = (rgb >> (16 + kBoxShift) & 31u) << 10 | (rgb >> (8 + kBoxShift) & 31u) << 5 |
                         (rgb >> kBoxShift & 31u);
    uint32_t start = boxStart_[box];
    if (start == 0) start = BuildBox(box);
    const uint8_t* list = candidates_.data() + (start - 1);
    const uint32_t listSize = boxCount_[box];
    uint32_t best = list[0];
    int32_t bestDistance = Distance(palette_[best], rgb);
    for (uint32_t i = 1; i < listSize && bestDistance != 0; ++i) {
        const int32_t distance = Distance(palette_[list[i]], rgb);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = list[i];
        }
    }
    return best;
}

uint32_t NearestColorIndex::BuildBox(uint32_t box)
{
    constexpr int32_t kWidth = 1 << kBoxShift;
    const int32_t lowR = static_cast<int32_t>(box >> 10 & 31u) * kWidth;
    const int32_t lowG = static_cast<int32_t>(box >> 5 & 31u) * kWidth;
    const int32_t lowB = static_cast<int32_t>(box & 31u) * kWidth;
    const int32_t highR = lowR + kWidth - 1, highG = lowG + kWidth - 1, highB = lowB + kWidth - 1;

    // The farthest any point of the box can be from its best entry.
    int32_t bound = INT32_MAX;
    for (uint32_t i = 0; i < count_; ++i) {
        const uint32_t c = palette_[i];
        const int32_t far = FarSquare(Channel(c, 16), lowR, highR) + FarSquare(Channel(c, 8), lowG, highG) +
                            FarSquare(Channel(c, 0), lowB, highB);
        bound = std::min(bound, far);
    }
    const auto start = static_cast<uint32_t>(candidates_.size()) + 1;
    uint16_t listed = 0;
    for (uint32_t i = 0; i < count_; ++i) {
        const uint32_t c = palette_[i];
        const int32_t near = NearSquare(Channel(c, 16), lowR, highR) + NearSquare(Channel(c, 8), lowG, highG) +
                             NearSquare(Channel(c, 0), lowB, highB);
        if (near <= bound) {
            candidates_.push_back(static_cast<uint8_t>(i));
            ++listed;
        }
    }
    boxStart_[box] = start;
    boxCount_[box] = listed;
    return start;
}

}  // namespace qv::host

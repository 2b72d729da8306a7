// Exact nearest-palette-entry search, fast enough for whole pictures.
#pragma once

#include <cstdint>
#include <vector>

namespace qv::host {

// Index of the palette entry nearest to a colour: least squared distance
// over red, green and blue, the lowest index on a tie.
//
// Colour space is cut into 32x32x32 boxes. The first colour that falls into
// a box lists the entries that can be nearest to any colour of that box
// (those no farther from the box than the box's farthest point is from the
// best entry); later colours of the box search only that list, in index
// order, so the answer is the same as a search of the whole palette.
class NearestColorIndex {
public:
    NearestColorIndex(const uint32_t* palette, uint32_t count);
    uint32_t operator()(uint32_t rgb);  // the top byte is ignored

private:
    uint32_t BuildBox(uint32_t box);

    const uint32_t* palette_;
    uint32_t count_;
    std::vector<uint32_t> boxStart_;  // offset into candidates_ + 1; 0: not built yet
    std::vector<uint16_t> boxCount_;
    std::vector<uint8_t> candidates_;
};

}  // namespace qv::host

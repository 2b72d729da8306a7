// The learned palette sorted on green, and the search that maps a colour to
// its palette index, as NeuQuant defines it: starting at the green value's
// start position and working outwards (up first, then down), the first
// entry met at the least sum of channel differences wins.
#pragma once

#include <bit>
#include <cstdint>

namespace qv::quantize {

inline constexpr int kMaxEntries = 256;
inline constexpr int kEntryPad = 32;  // one AVX-512 vector of 16-bit lanes
// Spare entries are farther from every colour than any real one can be.
inline constexpr int16_t kFarEntry = 2000;

struct ColourIndex {
    alignas(64) int16_t b[kMaxEntries + kEntryPad];
    alignas(64) int16_t g[kMaxEntries + kEntryPad];
    alignas(64) int16_t r[kMaxEntries + kEntryPad];
    uint8_t entry[kMaxEntries];  // palette index of each sorted entry
    int start[256];              // where the search starts, by green value
    int size = 0;
};

// The original outward search, one entry at a time.
int SearchPortable(const ColourIndex& index, int b, int g, int r);
// The same result from the distances of all entries at once.
int SearchAvx2(const ColourIndex& index, int b, int g, int r);
int SearchAvx512(const ColourIndex& index, int b, int g, int r);

using SearchKernel = int (*)(const ColourIndex& index, int b, int g, int r);

// Of the sorted entries marked in `nearest` (those at the least distance),
// the one the outward search from `from` meets first: the search visits
// from, from-1, from+1, from-2, ... (each step up before the step down), and
// entries past one it stops at cannot be nearer than what it holds.
inline int FirstMet(const ColourIndex& index, const uint64_t nearest[4], int from)
{
    int best = -1, bestRank = 0;
    for (int word = 0; word < 4; ++word) {
        for (uint64_t bits = nearest[word]; bits != 0; bits &= bits - 1) {
            const int k = word * 64 + std::countr_zero(bits);
            const int rank = k >= from ? 2 * (k - from) : 2 * (from - 1 - k) + 1;
            if (best < 0 || rank < bestRank) {
                best = k;
                bestRank = rank;
            }
        }
    }
    return index.entry[best];
}

}  // namespace qv::quantize

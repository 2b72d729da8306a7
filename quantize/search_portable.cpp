#include <cstdlib>

#include "quantize/colour_index.h"

namespace qv::quantize {

int SearchPortable(const ColourIndex& index, int b, int g, int r)
{
    int bestd = 1000, best = -1;  // 1000 is past the largest distance, 3 x 255
    int i = index.start[g], j = i - 1;
    while (i < index.size || j >= 0) {
        if (i < index.size) {
            int dist = index.g[i] - g;
            if (dist >= bestd) {
                i = index.size;  // entries further up are further in green alone
            } else {
                if (dist < 0) dist = -dist;
                dist += std::abs(index.b[i] - b);
                if (dist < bestd) {
                    dist += std::abs(index.r[i] - r);
                    if (dist < bestd) {
                        bestd = dist;
                        best = index.entry[i];
                    }
                }
                ++i;
            }
        }
        if (j >= 0) {
            int dist = g - index.g[j];
            if (dist >= bestd) {
                j = -1;
            } else {
                if (dist < 0) dist = -dist;
                dist += std::abs(index.b[j] - b);
                if (dist < bestd) {
                    dist += std::abs(index.r[j] - r);
                    if (dist < bestd) {
                        bestd = dist;
                        best = index.entry[j];
                    }
                }
                --j;
            }
        }
    }
    return best;
}

}  // namespace qv::quantize

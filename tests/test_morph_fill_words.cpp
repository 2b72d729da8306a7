// The background fill: exactly the given words, whatever the count's
// remainder after the wide stores, and nothing past them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "morph/pixel_buffers.h"

namespace {

TEST(FillWords, FillsExactlyTheCountAtEveryOffsetAndLength)
{
    constexpr uint32_t kGuard = 0xDEADBEEFu;
    for (uint32_t offset = 0; offset < 8; ++offset) {
        for (uint32_t count = 0; count <= 200; ++count) {
            std::vector<uint32_t> words(offset + count + 8, kGuard);
            qv::morph::FillWords(words.data() + offset, count, 0x00123456u);
            for (uint32_t i = 0; i < words.size(); ++i) {
                const bool inside = i >= offset && i < offset + count;
                ASSERT_EQ(words[i], inside ? 0x00123456u : kGuard) << "offset " << offset << " count " << count << " word " << i;
            }
        }
    }
}

}  // namespace

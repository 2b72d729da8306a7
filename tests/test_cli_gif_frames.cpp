// The command reduces GIF frames to 256 colours on its rendering threads and
// hands the writer 8-bit pictures. The file must be byte for byte the one
// the writer makes when it quantises the 32-bit frames itself.
#include <gtest/gtest.h>

#include <quorvane/quorvane.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "gif_frame_quantiser.h"
#include "host_picture.h"
#include "support/gif_writing.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> WriteGif(const fs::path& path, const std::vector<qvcli::HostPicture>& frames, int depth)
{
    std::vector<qv::test::GifFrame> gifFrames;
    for (const auto& frame : frames) gifFrames.emplace_back(frame.dc(), frame.bitmap());
    return qv::test::WriteGifFile(path, frames[0].width(), frames[0].height(), depth, 1250, 0, gifFrames);
}

// Pictures of a few kinds: smooth gradients, noise (more colours than the
// palette holds), few flat colours, and random top bytes throughout.
std::vector<qvcli::HostPicture> Frames(int w, int h)
{
    std::mt19937 rng(42);
    std::vector<qvcli::HostPicture> frames;
    for (int kind = 0; kind < 4; ++kind) {
        qvcli::HostPicture& p = frames.emplace_back(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint32_t rgb = 0;
                switch (kind) {
                case 0: rgb = uint32_t(x * 255 / w) << 16 | uint32_t(y * 255 / h) << 8 | uint32_t((x + y) & 255); break;
                case 1: rgb = static_cast<uint32_t>(rng()) & 0xFFFFFFu; break;
                case 2: rgb = ((x / 7 + y / 5) % 3) * 0x00405060u; break;
                default: rgb = uint32_t((x * y) & 255) * 0x00010101u ^ uint32_t(x << 16); break;
                }
                p.row(y)[x] = rgb | static_cast<uint32_t>(rng()) << 24;
            }
    }
    return frames;
}

TEST(CliGifFrames, QuantisedOnTheRenderingThreadsTheFileIsTheSame)
{
    const qv::test::ScratchDir dir("gif-frames");
    // Odd sizes: rows of 8-bit pictures are padded, those of 32-bit ones not.
    for (const auto& size : {std::pair{97, 61}, std::pair{320, 240}, std::pair{1, 1}}) {
        const std::vector<qvcli::HostPicture> frames = Frames(size.first, size.second);
        std::vector<qvcli::HostPicture> reduced;
        for (const auto& frame : frames) {
            reduced.push_back(qvcli::QuantiseForGif(frame));
            ASSERT_EQ(GetHostBitmapDepth(reduced.back().bitmap()), 8);
        }
        const std::vector<uint8_t> direct = WriteGif(dir / "direct.gif", frames, 32);
        ASSERT_GT(direct.size(), 32u + 4u * 786u);
        // Compared as a whole: a listing of two differing files says nothing.
        EXPECT_TRUE(WriteGif(dir / "reduced.gif", reduced, 8) == direct) << size.first << "x" << size.second;
    }
}

}  // namespace

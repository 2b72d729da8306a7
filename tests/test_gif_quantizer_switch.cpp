// The GIF writer's colour reduction with QUORVANE_QUANTIZER=freeimage and
// without: whole files byte for byte the same, at every depth the writer
// quantises (24 bits directly, 32 and 16 bits widened first).
#include <gtest/gtest.h>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/gif_writing.h"

namespace {

namespace fs = std::filesystem;
using qv::test::BitmapHandle;
using qv::test::DcHandle;

// Sets QUORVANE_QUANTIZER for the scope (the tests run on one thread).
class QuantizerChoice {
public:
    explicit QuantizerChoice(const char* value)
    {
        if (const char* old = std::getenv("QUORVANE_QUANTIZER")) previous_ = old, had_ = true;
        if (value) setenv("QUORVANE_QUANTIZER", value, 1);
        else unsetenv("QUORVANE_QUANTIZER");
    }
    ~QuantizerChoice()
    {
        if (had_) setenv("QUORVANE_QUANTIZER", previous_.c_str(), 1);
        else unsetenv("QUORVANE_QUANTIZER");
    }

private:
    std::string previous_;
    bool had_ = false;
};

// Frames of a few kinds: a moving gradient, noise, flat blocks.
std::vector<BitmapHandle> Frames(int w, int h, int depth)
{
    std::independent_bits_engine<std::mt19937, 32, uint32_t> rng(11);
    std::vector<BitmapHandle> frames;
    for (int kind = 0; kind < 3; ++kind) {
        BitmapHandle bitmap = qv::test::MakeBitmap(w, h, depth);
        const int bytes = depth / 8;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = qv::test::BitmapRow(bitmap.get(), y);
            for (int x = 0; x < w; ++x) {
                uint32_t v = 0;
                switch (kind) {
                case 0: v = uint32_t(x * 255 / w) | uint32_t(y * 255 / h) << 8 | uint32_t((x + 2 * y) & 255) << 16; break;
                case 1: v = rng(); break;
                default: v = ((x / 9 + y / 7) % 4) * 0x00304050u; break;
                }
                for (int k = 0; k < bytes; ++k) row[x * bytes + k] = static_cast<uint8_t>(v >> (8 * k));
            }
        }
        frames.push_back(std::move(bitmap));
    }
    return frames;
}

std::vector<uint8_t> WriteGif(const std::string& path, const std::vector<BitmapHandle>& frames, int w, int h, int depth)
{
    std::vector<DcHandle> dcs;
    std::vector<qv::test::GifFrame> gifFrames;
    for (const auto& frame : frames) {
        dcs.emplace_back(CreateHostDC(frame.get()));
        gifFrames.emplace_back(dcs.back().get(), frame.get());
    }
    return qv::test::WriteGifFile(path, w, h, depth, 1000, 0, gifFrames);
}

TEST(GifQuantizerSwitch, FilesAreTheSameWithEitherQuantizer)
{
    const qv::test::ScratchDir dir("gif-switch");
    for (int depth : {24, 32, 16})
        for (const auto& size : {std::pair{203, 131}, std::pair{7, 5}, std::pair{1, 1}}) {
            const auto frames = Frames(size.first, size.second, depth);
            std::vector<uint8_t> theirs, ours;
            {
                QuantizerChoice use("freeimage");
                theirs = WriteGif(dir.Path("freeimage.gif"), frames, size.first, size.second, depth);
            }
            {
                QuantizerChoice use(nullptr);
                ours = WriteGif(dir.Path("own.gif"), frames, size.first, size.second, depth);
            }
            ASSERT_GT(theirs.size(), 13u + 768u);
            // Compared as a whole: a listing of two differing files says nothing.
            EXPECT_TRUE(ours == theirs) << depth << " bits, " << size.first << "x" << size.second;
        }
}

}  // namespace

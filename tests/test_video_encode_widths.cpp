// RenderCompressed at every width from 16 to 130 and a few large odd sizes,
// from 24- and 32-bit host pictures: the conversion to the encoder's pixel
// format must take every column of every row. Lossless codecs give back the
// host's pixels exactly; the lossy ones must stay close in every column (a
// lost column would come back black or smeared from its neighbour).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <utility>
#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "support/avi_test_files.h"
#include "support/libav_decoded.h"

namespace qv::test {
namespace {

struct Codec {
    const char* fcc;
    bool lossless;
    bool evenSizes;
};

void PrintTo(const Codec& codec, std::ostream* out) { *out << codec.fcc; }

const Codec kCodecs[] = {
    {"FFV1", true, false}, {"HFYU", true, false}, {"ULRG", true, false},
    {"MJPG", false, false}, {"FMP4", false, false}, {"H264", false, true},
};

constexpr int kFrames = 2;

// The largest mean absolute difference of one column over its rows and
// channels, and which column it is.
std::pair<double, int> WorstColumn(const std::vector<uint8_t>& want, const std::vector<uint8_t>& got, int w, int h)
{
    std::pair<double, int> worst{0.0, -1};
    for (int x = 0; x < w; ++x) {
        long sum = 0;
        for (int y = 0; y < h; ++y)
            for (int c = 0; c < 3; ++c) {
                const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c);
                sum += std::abs(int(want[at]) - int(got[at]));
            }
        const double mean = double(sum) / (3.0 * h);
        if (mean > worst.first) worst = {mean, x};
    }
    return worst;
}

// A picture without sharp edges, for the lossy codecs: gradients across
// the whole frame, shifted by the seed.
BitmapHandle Smooth(int w, int h, int depth, int seed)
{
    BitmapHandle bitmap(CreateHostBitmap(w, h, depth));
    uint8_t* bits = GetHostBitmapBits(bitmap.get());
    const int stride = GetHostBitmapStride(bitmap.get()), bytes = depth / 8;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = bits + size_t(y) * size_t(stride) + size_t(x) * size_t(bytes);
            p[0] = uint8_t(40 + x * 170 / w + seed * 5);
            p[1] = uint8_t(60 + y * 150 / h);
            p[2] = uint8_t(210 - (x + y) * 120 / (w + h) - seed * 7);
        }
    return bitmap;
}

class EncodeWidthsTest : public ::testing::TestWithParam<Codec> {
protected:
    // Writes kFrames frames of w x h at `depth` and checks what FFmpeg
    // decodes from the file.
    void Check(int w, int h, int depth)
    {
        const Codec& codec = GetParam();
        if (codec.evenSizes) w += w % 2, h += h % 2;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " at " + std::to_string(depth) + " bits");
        const std::string path = scratch_.Path("clip.avi");
        FixedChoice choice;
        choice.fccHandler = Fcc(codec.fcc);
        choice.keyFrameEvery = kFrames;
        WindowHandle window = MakeChooserWindow(&choice);
        AviWriter* writer = nullptr;
        ASSERT_EQ(0, RenderCompressedStart(window.get(), path.c_str(), w, h, depth, 2500, kFrames, &writer));
        std::vector<std::vector<uint8_t>> sources;
        for (int i = 0; i < kFrames; ++i) {
            BitmapHandle frame = codec.lossless ? MakePattern(w, h, depth, uint32_t(i + 1)) : Smooth(w, h, depth, i);
            DcHandle dc(CreateHostDC(frame.get()));
            EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), uint32_t(i), writer));
            sources.push_back(Bgr24Rows(frame.get()));
        }
        RenderCompressedEnd(writer);
        const auto decoded = LibavDecodeBgr24(path);
        ASSERT_EQ(size_t(kFrames), decoded.size());
        for (size_t i = 0; i < decoded.size(); ++i) {
            ASSERT_EQ(sources[i].size(), decoded[i].size());
            if (codec.lossless) {
                EXPECT_EQ(sources[i], decoded[i]) << "frame " << i;
            } else {
                // Chroma subsampling alone leaves these gradients within 6 in
                // every column; a column lost or pulled toward black (the
                // last one of odd widths, by 30 and more) fails.
                const auto worst = WorstColumn(sources[i], decoded[i], w, h);
                EXPECT_LT(worst.first, 10.0) << "frame " << i << ", column " << worst.second;
            }
        }
        std::remove(path.c_str());
    }
    ScratchDir scratch_;
};

TEST_P(EncodeWidthsTest, EveryWidthFrom16To130)
{
    for (int depth : {24, 32})
        for (int w = 16; w <= 130; ++w) {
            Check(w, 17 + w % 6, depth);
            if (HasFailure()) return;  // one size's report is enough
        }
}

TEST_P(EncodeWidthsTest, LargeAndOddSizes)
{
    const int sizes[][2] = {{90, 30}, {450, 34}, {466, 31}, {1001, 13}, {2047, 9}};
    for (const auto& size : sizes) {
        Check(size[0], size[1], 24);
        Check(size[0], size[1], 32);
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, EncodeWidthsTest, ::testing::ValuesIn(kCodecs),
                         [](const ::testing::TestParamInfo<Codec>& codec) { return std::string(codec.param.fcc); });

}  // namespace
}  // namespace qv::test

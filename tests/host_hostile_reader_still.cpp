// The video reader and the still-image export driven with hostile arguments
// from outside the library: missing and odd file names, null outputs and
// device contexts, frame positions at the 32-bit limits, zooms of 0, below
// 0, NaN, infinite and huge, every depth from 0 to 64, sizes of 0, below 0
// and 32767, formats and save flags out of range.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "hostile_support.h"

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();

// A 6 x 4 uncompressed AVI of three frames, made once.
const std::string& SmallAvi()
{
    static const std::string path = [] {
        const std::string p = qv::test::ScratchPath("small.avi");
        qv::test::HostPicture frame(6, 4, 24);
        AviWriter* writer = nullptr;
        if (RenderCompressedStart(nullptr, p.c_str(), 6, 4, 24, 2500, 3, &writer) == 0) {
            for (uint32_t i = 0; i < 3; ++i) {
                frame.fillPattern(i);
                RenderCompressed(frame.dc(), frame.bitmap(), i, writer);
            }
        }
        RenderCompressedEnd(writer);
        return p;
    }();
    return path;
}

TEST(HostileReader, FileNamesThatNameNoVideo)
{
    const std::string text = qv::test::ScratchPath("text.avi");
    if (std::FILE* f = std::fopen(text.c_str(), "wb")) {
        std::fputs("RIFF not really", f);
        std::fclose(f);
    }
    const std::string empty = qv::test::ScratchPath("empty.avi");
    std::fclose(std::fopen(empty.c_str(), "wb"));
    int32_t w = 7, h = 7, length = 7;
    float rate = 7.0f;
    qv::test::HostPicture target(8, 8, 32);
    for (const char* name : {static_cast<const char*>(nullptr), "", "/", "/nonexistent/x.avi", "/dev/null",
                             text.c_str(), empty.c_str()}) {
        const int32_t info = GetAVIinfo(name, &w, &h, &rate, &length);
        EXPECT_TRUE(info >= 1 && info <= 3) << (name ? name : "(null)") << " " << info;
        const int32_t frame = GetAVIframe(target.dc(), name, 0, 1.0f);
        EXPECT_TRUE(frame >= 1 && frame <= 4) << (name ? name : "(null)") << " " << frame;
    }
    // Outputs are written only on success.
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 7);
    EXPECT_EQ(rate, 7.0f);
    EXPECT_EQ(length, 7);
}

TEST(HostileReader, NullOutputsAreSkipped)
{
    ASSERT_EQ(GetAVIinfo(SmallAvi().c_str(), nullptr, nullptr, nullptr, nullptr), 0);
    int32_t length = 0;
    ASSERT_EQ(GetAVIinfo(SmallAvi().c_str(), nullptr, nullptr, nullptr, &length), 0);
    EXPECT_EQ(length, 3);
}

TEST(HostileReader, FramePositionsAtThe32BitLimits)
{
    qv::test::HostPicture target(6, 4, 32);
    for (int32_t position : {INT32_MIN, INT32_MIN + 1, -2, -1, 3, 4, 1 << 20, INT32_MAX - 1, INT32_MAX})
        EXPECT_EQ(GetAVIframe(target.dc(), SmallAvi().c_str(), position, 1.0f), 4) << position;
    for (int32_t position : {0, 1, 2}) EXPECT_EQ(GetAVIframe(target.dc(), SmallAvi().c_str(), position, 1.0f), 0);
}

TEST(HostileReader, ZoomsThatLeaveNothingToDrawGiveFive)
{
    qv::test::HostPicture target(6, 4, 32);
    target.fillPattern(7);
    const std::vector<uint8_t> before = target.pixels();
    for (float zoom : {0.0f, -0.0f, -1.0f, -2.0f, kInf, -kInf, std::numeric_limits<float>::max(),
                       -std::numeric_limits<float>::max(), 1e30f, std::numeric_limits<float>::denorm_min(),
                       1e-30f, 0.1f, 2147483648.0f})
        EXPECT_EQ(GetAVIframe(target.dc(), SmallAvi().c_str(), 1, zoom), 5) << zoom;
    EXPECT_EQ(target.pixels(), before);
}

TEST(HostileReader, NaNZoomDrawsUnscaledAndHugeZoomsClipToTheTarget)
{
    qv::test::HostPicture unscaled(6, 4, 32), nan(6, 4, 32);
    ASSERT_EQ(GetAVIframe(unscaled.dc(), SmallAvi().c_str(), 2, 1.0f), 0);
    ASSERT_EQ(GetAVIframe(nan.dc(), SmallAvi().c_str(), 2, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(nan.pixels(), unscaled.pixels());
    EXPECT_EQ(GetHostStretchMode(nan.dc()), 1);  // left as it was

    // 6 x 4 zoomed to about 600 million pixels wide: only the target's
    // pixels are drawn, so the call is quick.
    qv::test::HostPicture target(16, 16, 24);
    const auto start = std::chrono::steady_clock::now();
    for (float zoom : {1e5f, 3.5e8f})
        EXPECT_EQ(GetAVIframe(target.dc(), SmallAvi().c_str(), 0, zoom), 0) << zoom;
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
    EXPECT_EQ(GetHostStretchMode(target.dc()), 3);
}

TEST(HostileReader, NullOrEmptyTargetsGiveFive)
{
    EXPECT_EQ(GetAVIframe(nullptr, SmallAvi().c_str(), 0, 1.0f), 5);
    EXPECT_EQ(GetAVIframe(nullptr, SmallAvi().c_str(), 0, 2.0f), 5);
    HostDC* empty = CreateHostDC(nullptr);
    EXPECT_EQ(GetAVIframe(empty, SmallAvi().c_str(), 0, 1.0f), 5);
    EXPECT_EQ(GetAVIframe(empty, SmallAvi().c_str(), 0, 0.5f), 5);
    DeleteHostDC(empty);
}

TEST(HostileStill, MissingNamesAndSizesBelowOneSaveNothing)
{
    qv::test::HostPicture picture(4, 4, 24);
    const std::string path = qv::test::ScratchPath("bad.png");
    EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 4, 4, 24, nullptr, 13, 0), 0);
    for (const char* name : {"", "/", "/nonexistent/x.png"})
        EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 4, 4, 24, name, 13, 0), 0) << name;
    const int32_t sizes[][2] = {{0, 4}, {4, 0}, {-1, 4}, {4, -1}, {INT32_MIN, 4}, {4, INT32_MIN}, {0, 0}};
    for (const auto& s : sizes)
        EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), s[0], s[1], 24, path.c_str(), 13, 0), 0)
            << s[0] << "x" << s[1];
    EXPECT_TRUE(qv::test::ReadFileBytes(path).empty());
}

TEST(HostileStill, EveryDepthFromZeroTo64InEveryFormat)
{
    // Depths the image library does not know become 8-bit pictures; every
    // depth is saved.
    qv::test::HostPicture picture(5, 3, 32);
    picture.fillPattern(11);
    for (int32_t format : {4, 5, 13}) {
        for (int32_t depth = 0; depth <= 64; ++depth) {
            const std::string path = qv::test::ScratchPath("depth.out");
            std::remove(path.c_str());
            EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 5, 3, depth, path.c_str(), format, 0), 1)
                << format << " " << depth;
            EXPECT_GT(qv::test::ReadFileBytes(path).size(), 8u);
        }
    }
}

TEST(HostileStill, FormatsAndSaveFlagsOutOfRange)
{
    qv::test::HostPicture picture(7, 5, 24);
    picture.fillPattern(12);
    const std::string path = qv::test::ScratchPath("flags.out");
    for (int32_t format : {INT32_MIN, -1, 0, 3, 6, 255, INT32_MAX}) {
        ASSERT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 7, 5, 24, path.c_str(), format, 0), 1);
        const std::vector<uint8_t> png = qv::test::ReadFileBytes(path);
        ASSERT_GE(png.size(), 8u);
        EXPECT_EQ(std::memcmp(png.data(), "\x89PNG", 4), 0) << format;
    }
    // Flags are the image library's business; whatever they ask, the call
    // answers 0 or 1 and never crashes.
    for (int32_t format : {4, 5, 13}) {
        for (int32_t flags : {INT32_MIN, -1, 0x7FFFFFFF, 0x0000FFFF, 0x00FF0000, 0x55555555, 0x2AAAAAAA, 0x80, 0x100,
                              0x800, 0x1000, 0x2000, 0x4000, 0x8000, 0x10000, 0x20000, 0x40000}) {
            const int32_t result = SaveToFreeImage(picture.dc(), picture.bitmap(), 7, 5, 24, path.c_str(), format, flags);
            EXPECT_TRUE(result == 0 || result == 1) << format << " " << flags;
        }
    }
}

TEST(HostileStill, NullPicturesAndTheLargestSides)
{
    const std::string path = qv::test::ScratchPath("null.png");
    EXPECT_EQ(SaveToFreeImage(nullptr, nullptr, 3, 3, 24, path.c_str(), 13, 0), 1);
    HostDC* empty = CreateHostDC(nullptr);
    EXPECT_EQ(SaveToFreeImage(empty, nullptr, 3, 3, 32, path.c_str(), 5, 0), 1);
    DeleteHostDC(empty);
    qv::test::HostPicture picture(4, 4, 24);
    EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 32767, 1, 24, path.c_str(), 13, 0), 1);
    EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 1, 32767, 8, path.c_str(), 5, 0), 1);
}

}  // namespace

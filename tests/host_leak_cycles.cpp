// Long runs through the shared library: thousands of writer Start / frame /
// End cycles and frame reads. No file descriptor may stay open and the heap
// may not grow from one thousand cycles to the next (LeakSanitizer checks
// for lost blocks in the ASan build, where the runs are shorter).
#include <gtest/gtest.h>

#include <malloc.h>

#include <functional>
#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "hostile_support.h"

namespace {

int Rounds(int plain) { return hostile::RunningUnderAddressSanitizer() ? plain / 8 : plain; }

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Runs `cycle` `rounds` times after a warm-up, and checks descriptors and
// heap use against the state after the warm-up.
void CheckFlat(int rounds, const std::function<void(int)>& cycle)
{
    for (int i = 0; i < 20; ++i) cycle(i);
    const int descriptors = hostile::OpenDescriptorCount();
    const size_t heap = HeapInUse();
    for (int i = 0; i < rounds; ++i) cycle(i);
    EXPECT_EQ(hostile::OpenDescriptorCount(), descriptors);
    if (!hostile::RunningUnderAddressSanitizer()) {
        // Allowance for the allocator's own bookkeeping, far below one
        // leaked frame or writer per cycle.
        EXPECT_LT(HeapInUse(), heap + 64 * 1024) << "heap grew over " << rounds << " cycles";
    }
}

TEST(LeakCycles, GifWriterStartFrameEnd)
{
    qv::test::HostPicture frame(24, 16, 32);
    frame.fillPattern(1);
    const std::string path = qv::test::ScratchPath("cycle.gif");
    CheckFlat(Rounds(1000), [&](int i) {
        GifWriter* writer = nullptr;
        ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 24, 16, i % 2 ? 8 : 32, 2500, 0, &writer), 0);
        ASSERT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 0);
        RenderAnimatedGIFEnd(writer);
    });
}

TEST(LeakCycles, GifWritersWhoseStartFailed)
{
    CheckFlat(Rounds(4000), [&](int i) {
        GifWriter* writer = nullptr;
        const char* name = i % 2 ? "/nonexistent/x.gif" : "/dev/full";
        ASSERT_NE(RenderAnimatedGIFStart(name, 8, 8, 24, 2500, 0, &writer), 0);
        RenderAnimatedGIFEnd(writer);
    });
}

TEST(LeakCycles, AviWriterStartFrameEnd)
{
    qv::test::HostPicture frame(32, 16, 24);
    frame.fillPattern(2);
    const std::string path = qv::test::ScratchPath("cycle.avi");
    CheckFlat(Rounds(2000), [&](int) {
        AviWriter* writer = nullptr;
        ASSERT_EQ(RenderCompressedStart(nullptr, path.c_str(), 32, 16, 24, 2500, 2, &writer), 0);
        ASSERT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 0);
        ASSERT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 3, writer), 0);
        RenderCompressedEnd(writer);
    });
}

int32_t MotionJpeg(void*, AVICOMPRESSOPTIONS* options)
{
    options->fccHandler = QV_FOURCC('M', 'J', 'P', 'G');
    return 1;
}

TEST(LeakCycles, AviWriterWithACompressorAndFailedStarts)
{
    qv::test::HostPicture frame(32, 16, 24);
    HostWindow* window = CreateHostWindow(&MotionJpeg, nullptr);
    const std::string path = qv::test::ScratchPath("cycle-mjpg.avi");
    CheckFlat(Rounds(1000), [&](int i) {
        AviWriter* writer = nullptr;
        if (i % 2 == 0) {
            ASSERT_EQ(RenderCompressedStart(window, path.c_str(), 32, 16, 24, 2500, 2, &writer), 0);
            ASSERT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 0);
        } else {
            ASSERT_EQ(RenderCompressedStart(window, "/nonexistent/x.avi", 32, 16, 24, 2500, 2, &writer), 2);
        }
        RenderCompressedEnd(writer);
    });
    DeleteHostWindow(window);
}

TEST(LeakCycles, VideoFrameReads)
{
    const std::string path = qv::test::ScratchPath("read-cycle.avi");
    {
        qv::test::HostPicture frame(32, 16, 24);
        HostWindow* window = CreateHostWindow(&MotionJpeg, nullptr);
        AviWriter* writer = nullptr;
        ASSERT_EQ(RenderCompressedStart(window, path.c_str(), 32, 16, 24, 2500, 4, &writer), 0);
        for (uint32_t i = 0; i < 4; ++i) {
            frame.fillPattern(i);
            ASSERT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), i, writer), 0);
        }
        RenderCompressedEnd(writer);
        DeleteHostWindow(window);
    }
    qv::test::HostPicture target(32, 16, 32);
    CheckFlat(Rounds(3000), [&](int i) {
        // Frames, zooms, and positions with no frame.
        const int32_t position = i % 5 == 4 ? 9 : i % 4;
        const int32_t result = GetAVIframe(target.dc(), path.c_str(), position, i % 3 ? 1.0f : 0.5f);
        ASSERT_EQ(result, position == 9 ? 4 : 0);
        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &rate, &length), 0);
    });
}

TEST(LeakCycles, StillExports)
{
    qv::test::HostPicture picture(24, 16, 32);
    picture.fillPattern(3);
    const std::string path = qv::test::ScratchPath("cycle.still");
    CheckFlat(Rounds(1500), [&](int i) {
        const int32_t format = i % 3 == 0 ? 4 : i % 3 == 1 ? 5 : 13;
        ASSERT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 24, 16, 32, path.c_str(), format, 0), 1);
        ASSERT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 24, 16, 32, "/dev/full", format, 0), 0);
    });
}

}  // namespace

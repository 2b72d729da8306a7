// An outside host's view of the video calls: only the public headers and the
// shared library. Lists the compressors, writes a file through a chooser
// with each lossless one, and reads it back through the library.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

namespace {

struct Choice {
    uint32_t fcc;
};

int32_t Choose(void* context, AVICOMPRESSOPTIONS* options)
{
    options->fccType = QV_FOURCC('v', 'i', 'd', 's');
    options->fccHandler = static_cast<Choice*>(context)->fcc;
    options->dwKeyFrameEvery = 2;
    options->dwQuality = 10000;
    return 1;
}

TEST(HostVideo, LosslessRoundTripThroughTheSharedLibrary)
{
    std::vector<QvCompressorInfo> list(size_t(QvListCompressors(nullptr, 0)));
    ASSERT_FALSE(list.empty());
    ASSERT_EQ(int32_t(list.size()), QvListCompressors(list.data(), int32_t(list.size())));

    const int32_t w = 26, h = 18;
    HostBitmap* source = CreateHostBitmap(w, h, 24);
    ASSERT_NE(nullptr, source);
    uint8_t* bits = GetHostBitmapBits(source);
    const int32_t stride = GetHostBitmapStride(source);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w * 3; ++x) bits[y * stride + x] = uint8_t(x * 9 + y * 13);
    HostDC* sourceDC = CreateHostDC(source);

    int tried = 0;
    for (const QvCompressorInfo& c : list) {
        if (!c.lossless) continue;
        ++tried;
        SCOPED_TRACE(c.description);
        Choice choice{c.fccHandler};
        HostWindow* window = CreateHostWindow(Choose, &choice);
        char path[] = "/tmp/qv-host-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        AviWriter* writer = nullptr;
        ASSERT_EQ(0, RenderCompressedStart(window, path, w, h, 24, 1250, 3, &writer));
        for (uint32_t position = 0; position < 3; ++position)
            EXPECT_EQ(0, RenderCompressed(sourceDC, source, position, writer));
        RenderCompressedEnd(writer);
        DeleteHostWindow(window);

        int32_t width = 0, height = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(0, GetAVIinfo(path, &width, &height, &rate, &length));
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        EXPECT_EQ(12.5f, rate);
        EXPECT_EQ(3, length);

        HostBitmap* target = CreateHostBitmap(w, h, 24);
        HostDC* targetDC = CreateHostDC(target);
        ASSERT_EQ(0, GetAVIframe(targetDC, path, 2, 1.0f));
        for (int32_t y = 0; y < h; ++y)
            EXPECT_EQ(0, std::memcmp(bits + y * stride, GetHostBitmapBits(target) + y * stride, size_t(w) * 3))
                << "row " << y;
        DeleteHostDC(targetDC);
        DeleteHostBitmap(target);
        std::remove(path);
    }
    EXPECT_GE(tried, 2);
    DeleteHostDC(sourceDC);
    DeleteHostBitmap(source);
}

}  // namespace

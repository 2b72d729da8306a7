// Outputs that cannot be written: a device that is always full, and a file
// that stops taking bytes partway (a file-size limit, with the signal it
// raises ignored, makes writes past it fail as on a full disk). No call may
// report as written what did not reach the file, nothing crashes, and End
// still releases everything (LeakSanitizer checks that in the ASan build).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "hostile_support.h"

namespace {

// Files written while the object lives may grow to `bytes` and no further.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler_ = signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    sighandler_t previousHandler_;
};

size_t FileSize(const std::string& path) { return qv::test::ReadFileBytes(path).size(); }

TEST(GifWriteFailures, FullDeviceFailsTheHeaderAndEveryFrame)
{
    qv::test::HostPicture frame(8, 8, 24);
    GifWriter* writer = nullptr;
    ASSERT_EQ(RenderAnimatedGIFStart("/dev/full", 8, 8, 24, 2500, 0, &writer), 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 4);
    RenderAnimatedGIFEnd(writer);
}

TEST(GifWriteFailures, FileThatStopsGrowingFailsFromTheFrameThatDidNotFit)
{
    qv::test::HostPicture frame(40, 30, 24);
    // Each 40 x 30 frame: 18 + 768 + 1353 + ... bytes; the limit falls in
    // the third frame.
    const std::string path = qv::test::ScratchPath("limited.gif");
    std::vector<int32_t> results;
    {
        FileSizeLimit limit(5000);
        GifWriter* writer = nullptr;
        ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 40, 30, 24, 2500, 0, &writer), 0);
        for (int i = 0; i < 6; ++i) {
            frame.fillPattern(static_cast<uint32_t>(i));
            results.push_back(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer));
        }
        RenderAnimatedGIFEnd(writer);
    }
    const size_t perFrame = 18 + 768 + 1 + 1 + (40 * 30 * 9 + 4 * 9 + 9 + 7) / 8 + 5 + 1;
    ASSERT_EQ(results.size(), 6u);
    size_t written = 0;
    while (written < results.size() && results[written] == 0) ++written;
    EXPECT_EQ(written, 2u);
    for (size_t i = written; i < results.size(); ++i) EXPECT_EQ(results[i], 4) << i;
    // Everything reported as written is in the file.
    EXPECT_GE(FileSize(path), 32 + written * perFrame);
    EXPECT_LE(FileSize(path), 5000u);
}

TEST(AviWriteFailures, FullDeviceFailsEveryFrame)
{
    qv::test::HostPicture frame(16, 16, 24);
    AviWriter* writer = nullptr;
    ASSERT_EQ(RenderCompressedStart(nullptr, "/dev/full", 16, 16, 24, 2500, 3, &writer), 0);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), i, writer), 1) << i;
    RenderCompressedEnd(writer);
}

int32_t MotionJpeg(void*, AVICOMPRESSOPTIONS* options)
{
    options->fccHandler = QV_FOURCC('M', 'J', 'P', 'G');
    options->dwQuality = 5000;
    return 1;
}

TEST(AviWriteFailures, FileThatStopsGrowingFailsFromTheFrameThatDidNotFit)
{
    for (HostCompressorChooser chooser : {static_cast<HostCompressorChooser>(nullptr), &MotionJpeg}) {
        qv::test::HostPicture frame(32, 32, 24);
        HostWindow* window = CreateHostWindow(chooser, nullptr);
        const std::string path = qv::test::ScratchPath("limited.avi");
        std::vector<int32_t> results;
        {
            FileSizeLimit limit(12000);  // a few 3 KB uncompressed frames
            AviWriter* writer = nullptr;
            ASSERT_EQ(RenderCompressedStart(window, path.c_str(), 32, 32, 24, 2500, 3, &writer), 0);
            for (uint32_t i = 0; i < 40; ++i) {
                frame.fillPattern(i);
                results.push_back(RenderCompressed(frame.dc(), frame.bitmap(), i, writer));
            }
            RenderCompressedEnd(writer);
        }
        DeleteHostWindow(window);
        size_t written = 0;
        while (written < results.size() && results[written] == 0) ++written;
        EXPECT_GT(written, 0u);
        EXPECT_LT(written, results.size());
        for (size_t i = written; i < results.size(); ++i) EXPECT_EQ(results[i], 1) << i;
        EXPECT_LE(FileSize(path), 12000u);
        // The frames reported as written are whole in the file: at least the
        // chunk header and data of each.
        if (chooser == nullptr) {
            EXPECT_GE(FileSize(path), written * (8 + 32 * 32 * 3));
        }
    }
}

TEST(StillWriteFailures, FullDeviceAndFileThatStopsGrowingSaveNothing)
{
    qv::test::HostPicture picture(64, 64, 24);
    picture.fillPattern(3);
    for (int32_t format : {4, 5, 13}) {
        EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 64, 64, 24, "/dev/full", format, 0), 0) << format;
        const std::string path = qv::test::ScratchPath("limited.still");
        FileSizeLimit limit(1000);
        EXPECT_EQ(SaveToFreeImage(picture.dc(), picture.bitmap(), 64, 64, 24, path.c_str(), format, 0), 0) << format;
    }
}

}  // namespace

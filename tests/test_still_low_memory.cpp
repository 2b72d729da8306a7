// SaveToFreeImage when the image library cannot allocate the picture or its
// 24-bit copy: result 0, no file, and every byte it allocated given back.
#include <gtest/gtest.h>
#include <quorvane/quorvane.h>

#include <unistd.h>

#include <string>

#include "support/host_picture.h"
#include "support/gif_memory_limit.h"
#include "support/scratch_files.h"

namespace {

constexpr int kSide = 4000;                              // 32 bits: 64 MB, 24 bits: 48 MB
constexpr std::size_t kPictureBytes = std::size_t{kSide} * kSide * 4;

// Child process: 0 when the save failed cleanly, otherwise a code naming
// what went wrong.
int SaveWithRoom(std::size_t room, const std::string& path)
{
    qv::test::HostPicture picture(kSide, kSide, 32);
    if (!picture.valid()) return 10;
    qv::test::HostPicture small(8, 8, 32);
    const std::string warmUp = path + ".warm.png";
    if (SaveToFreeImage(small.dc(), small.bitmap(), 8, 8, 32, warmUp.c_str(), QV_FORMAT_PNG, 0) != 1) return 11;

    const std::size_t before = qv::test::HeapBytesInUse();
    int32_t result = -1;
    {
        qv::test::AddressSpaceLimit limit(room);
        result = SaveToFreeImage(picture.dc(), picture.bitmap(), kSide, kSide, 32, path.c_str(), QV_FORMAT_PNG, 0);
    }
    if (result != 0) return 12;
    if (qv::test::HeapBytesInUse() != before) return 13;
    if (access(path.c_str(), F_OK) == 0) return 14;
    return 0;
}

TEST(StillExportLowMemory, PictureThatCannotBeAllocatedGivesZeroAndLeaksNothing)
{
    if (!qv::test::kAddressSpaceLimitsWork) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    const std::string path = qv::test::ScratchPath("noalloc.png");
    EXPECT_EXIT(_exit(SaveWithRoom(kPictureBytes / 4, path)), ::testing::ExitedWithCode(0), "");
}

TEST(StillExportLowMemory, CopyThatCannotBeWidenedGivesZeroAndLeaksNothing)
{
    if (!qv::test::kAddressSpaceLimitsWork) GTEST_SKIP() << "address space limits do not work under AddressSanitizer";
    const std::string path = qv::test::ScratchPath("nowiden.png");
    // Room for the 32-bit picture, not for its 24-bit copy beside it.
    EXPECT_EXIT(_exit(SaveWithRoom(kPictureBytes + kPictureBytes / 3, path)), ::testing::ExitedWithCode(0), "");
}

}  // namespace

// The still export's own file handling gives the same bytes as FreeImage's
// save-by-name for every format, and reports a save the disk refused.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstdint>
#include <string>

#include "still/checked_save.h"
#include "support/gif_indexed_picture.h"
#include "support/scratch_files.h"

namespace {

qv::test::PictureHandle TestPicture(int bitsPerPixel)
{
    qv::test::PictureHandle picture(FreeImage_Allocate(37, 21, bitsPerPixel, 0, 0, 0));
    for (unsigned y = 0; y < FreeImage_GetHeight(picture.get()); ++y) {
        BYTE* line = FreeImage_GetScanLine(picture.get(), static_cast<int>(y));
        for (unsigned i = 0; i < FreeImage_GetLine(picture.get()); ++i) line[i] = static_cast<BYTE>(i * 31 + y * 7);
    }
    if (bitsPerPixel <= 8) {
        RGBQUAD* palette = FreeImage_GetPalette(picture.get());
        for (unsigned i = 0; i < FreeImage_GetColorsUsed(picture.get()); ++i) {
            palette[i] = {static_cast<BYTE>(i * 3), static_cast<BYTE>(i * 5), static_cast<BYTE>(255 - i), 0};
        }
    }
    return picture;
}

TEST(StillCheckedSave, SameBytesAsSavingByName)
{
    const std::pair<FREE_IMAGE_FORMAT, int> cases[] = {
        {FIF_PNG, 24}, {FIF_JPEG, 24}, {FIF_TIFF, 24}, {FIF_TIFF, 8}, {FIF_TIFF, 4}};
    for (const auto& [format, depth] : cases) {
        auto picture = TestPicture(depth);
        const std::string byName = qv::test::ScratchPath("byname"), checked = qv::test::ScratchPath("checked");
        ASSERT_TRUE(FreeImage_Save(format, picture.get(), byName.c_str(), 0));
        ASSERT_TRUE(qv::still::SaveCheckingWrites(format, picture.get(), checked.c_str(), 0));
        const auto expected = qv::test::ReadFileBytes(byName);
        EXPECT_GT(expected.size(), 100u);
        EXPECT_EQ(qv::test::ReadFileBytes(checked), expected) << "format " << format << " depth " << depth;
    }
}

TEST(StillCheckedSave, FullDiskAndMissingDirectoryFail)
{
    auto picture = TestPicture(24);
    for (FREE_IMAGE_FORMAT format : {FIF_PNG, FIF_JPEG, FIF_TIFF}) {
        EXPECT_FALSE(qv::still::SaveCheckingWrites(format, picture.get(), "/dev/full", 0)) << format;
        EXPECT_FALSE(qv::still::SaveCheckingWrites(format, picture.get(), qv::test::ScratchPath("none/x").c_str(), 0));
    }
}

}  // namespace

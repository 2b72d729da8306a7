// The host stand-ins and the compressor list, called with null objects,
// sizes and depths out of range, and capacities below zero: each answers
// with its documented empty value and writes nothing it was not asked to.
#include <gtest/gtest.h>

#include <cstring>

#include <quorvane/host.h>
#include <quorvane/video.h>

namespace {

TEST(HostileHostObjects, NullObjectsAnswerEmpty)
{
    EXPECT_EQ(GetHostBitmapBits(nullptr), nullptr);
    EXPECT_EQ(GetHostBitmapStride(nullptr), 0);
    EXPECT_EQ(GetHostBitmapWidth(nullptr), 0);
    EXPECT_EQ(GetHostBitmapHeight(nullptr), 0);
    EXPECT_EQ(GetHostBitmapDepth(nullptr), 0);
    EXPECT_EQ(GetHostBitmapPalette(nullptr), nullptr);
    EXPECT_EQ(SelectHostBitmap(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetHostSelectedBitmap(nullptr), nullptr);
    EXPECT_EQ(GetHostStretchMode(nullptr), 0);
    DeleteHostDC(nullptr);
    DeleteHostBitmap(nullptr);
    DeleteHostWindow(nullptr);
}

TEST(HostileHostObjects, BitmapsOnlyInTheirSizesAndDepths)
{
    for (int32_t depth = -1; depth <= 64; ++depth) {
        HostBitmap* bitmap = CreateHostBitmap(3, 3, depth);
        const bool known = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
        EXPECT_EQ(bitmap != nullptr, known) << depth;
        if (bitmap != nullptr) {
            EXPECT_EQ(GetHostBitmapDepth(bitmap), depth);
        }
        DeleteHostBitmap(bitmap);
    }
    // Below 1, and more than 2^31 - 1 bytes.
    const int32_t sizes[][2] = {{0, 1}, {1, 0}, {-1, 5}, {5, INT32_MIN}, {32767, 32767}, {INT32_MAX, INT32_MAX},
                                {INT32_MAX, 1}};
    for (const auto& s : sizes) EXPECT_EQ(CreateHostBitmap(s[0], s[1], 32), nullptr) << s[0] << "x" << s[1];
}

TEST(HostileHostObjects, CompressorListWithoutRoom)
{
    const int32_t available = QvListCompressors(nullptr, 0);
    ASSERT_GE(available, 1);  // "DIB " at least
    EXPECT_EQ(QvListCompressors(nullptr, 1000), available);
    QvCompressorInfo list[2];
    std::memset(list, 0xCD, sizeof list);
    EXPECT_EQ(QvListCompressors(list, -5), available);
    EXPECT_EQ(QvListCompressors(list, INT32_MIN), available);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(list);
    for (size_t i = 0; i < sizeof list; ++i) ASSERT_EQ(bytes[i], 0xCD);
    EXPECT_EQ(QvListCompressors(list, 1), available);
    EXPECT_EQ(list[0].fccHandler, QV_FOURCC('D', 'I', 'B', ' '));
    EXPECT_EQ(bytes[sizeof(QvCompressorInfo)], 0xCD);  // the second entry untouched
}

}  // namespace

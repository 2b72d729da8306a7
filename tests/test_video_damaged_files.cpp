// Damaged and hostile files: truncated at every structural boundary, bytes
// overwritten across the header and the frames, and header sizes that point
// past the end. The tests check only that every call ends with one of its
// result codes: their real assertion is the AddressSanitizer and
// UndefinedBehaviorSanitizer build, which fails them on any stray read or
// write. In the plain build they catch only crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "support/avi_test_files.h"

namespace qv::test {
namespace {

class DamagedFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new ScratchDir;
        const char* kinds[][2] = {
            {"raw.avi", "-c:v rawvideo -pix_fmt bgr24"},
            {"pal8.avi", "-c:v rawvideo -pix_fmt pal8"},
            {"mjpeg.avi", "-c:v mjpeg"},
            {"h264.avi", "-c:v libx264 -preset ultrafast"},
            {"mp4.mp4", "-c:v libx264 -preset ultrafast"},
        };
        for (const auto& k : kinds)
            std::filesystem::copy_file(
                FfmpegFixture(k[0], "testsrc=size=32x24:rate=25", std::string("-frames:v 4 ") + k[1]),
                dir_->Path(k[0]));
        // And one of the library's own, with a gap.
        AviWriter* writer = nullptr;
        RenderCompressedStart(nullptr, dir_->Path("own.avi").c_str(), 32, 24, 24, 2500, 4, &writer);
        BitmapHandle frame = MakePattern(32, 24, 24, 3);
        DcHandle dc(CreateHostDC(frame.get()));
        RenderCompressed(dc.get(), frame.get(), 0, writer);
        RenderCompressed(dc.get(), frame.get(), 2, writer);
        RenderCompressedEnd(writer);
        names_ = {"raw.avi", "pal8.avi", "mjpeg.avi", "h264.avi", "mp4.mp4", "own.avi"};
    }
    static void TearDownTestSuite()
    {
        delete dir_;
        dir_ = nullptr;
    }

    // Calls both readers on `path`; returns GetAVIinfo's code.
    static int32_t Probe(const std::string& path)
    {
        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        const int32_t info = GetAVIinfo(path.c_str(), &w, &h, &rate, &length);
        EXPECT_TRUE(info >= 0 && info <= 3) << info;
        BitmapHandle target = MakeFilled(40, 30, 24, 0);
        DcHandle dc(CreateHostDC(target.get()));
        for (int32_t position : {0, 1, 3}) {
            const int32_t frame = GetAVIframe(dc.get(), path.c_str(), position, 1.0f);
            EXPECT_TRUE(frame >= 0 && frame <= 5) << frame;
        }
        const int32_t zoomed = GetAVIframe(dc.get(), path.c_str(), 2, 0.5f);
        EXPECT_TRUE(zoomed >= 0 && zoomed <= 5) << zoomed;
        return info;
    }

    static ScratchDir* dir_;
    static std::vector<std::string> names_;
};
ScratchDir* DamagedFiles::dir_ = nullptr;
std::vector<std::string> DamagedFiles::names_;

TEST_F(DamagedFiles, TruncatedAnywhere)
{
    for (const std::string& name : names_) {
        const std::vector<uint8_t> whole = ReadFileBytes(dir_->Path(name));
        ASSERT_GT(whole.size(), 200u) << name;
        const std::string cut = dir_->Path("cut_" + name);
        std::vector<size_t> lengths = {0, 1, 4, 8, 11, 12, 16, 20, 24, 32, 64, 100, 150, 200};
        for (size_t step = whole.size() / 23; step > 0 && lengths.back() + step < whole.size();)
            lengths.push_back(lengths.back() + step);
        lengths.push_back(whole.size() - 1);
        for (size_t length : lengths) {
            SCOPED_TRACE(name + " cut at " + std::to_string(length));
            WriteFileBytes(cut, std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
            const int32_t info = Probe(cut);
            if (length < 12) {
                EXPECT_EQ(1, info);
            }
        }
    }
}

TEST_F(DamagedFiles, BytesOverwritten)
{
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (const std::string& name : names_) {
        const std::vector<uint8_t> whole = ReadFileBytes(dir_->Path(name));
        const std::string bad = dir_->Path("bad_" + name);
        for (int round = 0; round < 24; ++round) {
            std::vector<uint8_t> damaged = whole;
            // Half the rounds hit the first 512 bytes, where the headers are.
            const size_t span = round % 2 == 0 ? std::min<size_t>(512, whole.size()) : whole.size();
            for (int hits = 0; hits < 1 + round % 5; ++hits) {
                const size_t at = next() % span;
                const uint32_t value = round % 3 == 0 ? 0xFFFFFFFFu : next();
                std::memcpy(&damaged[std::min(at, damaged.size() - 4)], &value, 4);
            }
            SCOPED_TRACE(name + " round " + std::to_string(round));
            WriteFileBytes(bad, damaged);
            Probe(bad);
        }
    }
}

// Sizes in the header list that point past what is there.
TEST_F(DamagedFiles, HeaderSizesPastTheEnd)
{
    const std::vector<uint8_t> whole = ReadFileBytes(dir_->Path("own.avi"));
    const std::string bad = dir_->Path("sizes.avi");
    for (const char* tag : {"RIFF", "LIST", "avih", "strl", "strh", "strf", "movi", "idx1"}) {
        for (uint32_t size : {0u, 3u, 39u, 41u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFF8u}) {
            std::vector<uint8_t> damaged = whole;
            for (size_t i = 0; i + 8 <= damaged.size(); ++i) {
                if (std::memcmp(&damaged[i], tag, 4) != 0) continue;
                // For list types the size field sits before the list's own header.
                const size_t field = (std::strcmp(tag, "strl") == 0 || std::strcmp(tag, "movi") == 0) ? i - 4 : i + 4;
                std::memcpy(&damaged[field], &size, 4);
                break;
            }
            SCOPED_TRACE(std::string(tag) + " size " + std::to_string(size));
            WriteFileBytes(bad, damaged);
            Probe(bad);
        }
    }
    // A format shorter than a whole header gives 2.
    std::vector<uint8_t> shortFormat = whole;
    for (size_t i = 0; i + 8 <= shortFormat.size(); ++i)
        if (std::memcmp(&shortFormat[i], "strf", 4) == 0) {
            std::memcpy(&shortFormat[i], "JUNK", 4);  // no format at all
            break;
        }
    WriteFileBytes(bad, shortFormat);
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    const int32_t info = GetAVIinfo(bad.c_str(), &w, &h, &rate, &length);
    EXPECT_TRUE(info == 1 || info == 2) << info;
}

}  // namespace
}  // namespace qv::test

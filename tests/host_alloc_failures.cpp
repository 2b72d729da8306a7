// Every allocation a call makes, made to fail in turn. The test binary
// defines malloc and its relatives itself (forwarding to the C library), so
// the library's own allocations, FreeImage's and FFmpeg's all pass through
// here; allocation N fails and every other one succeeds. For each N a call
// reaches: the call gives one of its documented codes, a success is a
// correct output, nothing is left allocated once the writers are ended, and
// a writer whose Start failed is closed by its End.
//
// The reader and still sweeps are disabled: they end in crashes inside
// libavformat and libtiff after those libraries' own allocations fail (run
// them with --gtest_also_run_disabled_tests).
//
// AddressSanitizer owns the allocator in its build; there this test skips
// (its leak checks run in the plain build, by counting live blocks).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <malloc.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "hostile_support.h"

#if defined(__SANITIZE_ADDRESS__)
#  define QV_INTERPOSE_ALLOCATOR 0
#else
#  define QV_INTERPOSE_ALLOCATOR 1
#endif

namespace {
std::atomic<long> gAllocations{0};  // successful allocations, while counting
std::atomic<long> gFailAt{0};       // the allocation number to fail; 0: none
std::atomic<long> gLive{0};         // blocks allocated and not freed
std::atomic<bool> gCounting{false};

std::atomic<long> gSpared{0};
thread_local bool tInsideCheck = false;

// FreeImage 3.18 makes every bitmap's metadata map with new(std::nothrow)
// and never checks the result: a bitmap whose map could not be made crashes
// the next call that touches metadata (conversion, unload). That failure is
// the image library's own and cannot be handled by its caller, so the sweep
// spares it: a 48-byte block asked for from inside libfreeimage.
[[maybe_unused]] bool IsFreeImageMetadataMap(size_t size)
{
    if (size != 48 || tInsideCheck) return false;
    tInsideCheck = true;
    void* frames[8] = {};
    const int depth = backtrace(frames, 8);
    bool fromFreeImage = false;
    for (int i = 1; i < depth && !fromFreeImage; ++i) {
        Dl_info info{};
        fromFreeImage = dladdr(frames[i], &info) != 0 && info.dli_fname != nullptr &&
                        std::strstr(info.dli_fname, "libfreeimage") != nullptr;
    }
    tInsideCheck = false;
    return fromFreeImage;
}

[[maybe_unused]] bool FailThisOne(size_t size)
{
    if (!gCounting.load(std::memory_order_relaxed)) return false;
    const long n = gAllocations.fetch_add(1, std::memory_order_relaxed) + 1;
    if (n == gFailAt.load(std::memory_order_relaxed)) {
        if (IsFreeImageMetadataMap(size)) {
            gSpared.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        errno = ENOMEM;
        return true;
    }
    return false;
}
[[maybe_unused]] void* Counted(void* p)
{
    if (p != nullptr) gLive.fetch_add(1, std::memory_order_relaxed);
    return p;
}
}  // namespace

#if QV_INTERPOSE_ALLOCATOR
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);

void* malloc(size_t size)
{
    if (FailThisOne(size)) return nullptr;
    return Counted(__libc_malloc(size));
}
void* calloc(size_t count, size_t size)
{
    if (FailThisOne(count * size)) return nullptr;
    return Counted(__libc_calloc(count, size));
}
void* realloc(void* p, size_t size)
{
    if (p == nullptr) return malloc(size);
    if (size == 0) {
        free(p);
        return nullptr;
    }
    if (FailThisOne(size)) return nullptr;
    return __libc_realloc(p, size);
}
void free(void* p)
{
    if (p == nullptr) return;
    gLive.fetch_sub(1, std::memory_order_relaxed);
    __libc_free(p);
}
void* memalign(size_t alignment, size_t size)
{
    if (FailThisOne(size)) return nullptr;
    return Counted(__libc_memalign(alignment, size));
}
void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }
int posix_memalign(void** out, size_t alignment, size_t size)
{
    void* p = memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}
void* valloc(size_t size) { return memalign(4096, size); }
void* pvalloc(size_t size) { return memalign(4096, (size + 4095) & ~size_t{4095}); }
}  // extern "C"
#endif

namespace {

// Allocations one run of `call` makes when none fails.
long AllocationsOf(const std::function<void()>& call)
{
    gFailAt = 0;
    gAllocations = 0;
    gCounting = true;
    call();
    gCounting = false;
    return gAllocations.load();
}

// Runs `call` once for every allocation it reaches, failing that one; runs
// whose allocations are many are sampled evenly, the first 400 all.
template <typename Check>
void SweepFailures(const std::function<void()>& call, Check&& check)
{
    const long total = AllocationsOf(call);
    ASSERT_GT(total, 0);
    const long step = total <= 1500 ? 1 : total / 1100;
    for (long n = 1; n <= total + 1; n += (n < 400 ? 1 : step)) {
        gFailAt = n;
        gAllocations = 0;
        const long liveBefore = gLive.load();
        gCounting = true;
        call();
        gCounting = false;
        // Taken before any assertion: failure messages allocate too.
        check(n, gLive.load() - liveBefore);
        if (::testing::Test::HasFatalFailure()) return;
    }
    gFailAt = 0;
}

class AllocationFailures : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QV_INTERPOSE_ALLOCATOR) GTEST_SKIP() << "the sanitizer's allocator is in charge";
        void* warm[2];
        backtrace(warm, 2);  // loads the unwinder before any allocation is watched
        gSpared = 0;
    }
    void TearDown() override { RecordProperty("spared_freeimage_metadata_maps", std::to_string(gSpared.load())); }
};

TEST_F(AllocationFailures, DrawMorph)
{
    qv::test::HostPicture src(24, 20, 32), dst(24, 20, 24), out(24, 20, 32);
    src.fillPattern(1);
    dst.fillPattern(2);
    int16_t fx[5] = {23, 0, 23, 0, 12}, fy[5] = {19, 19, 0, 0, 9};
    float w[5] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    int16_t cp[8] = {0, 0, 7, 9, 5, 11, 0, 0};
    const MorphTriangle mesh[4] = {{{0, -1, 1}}, {{-1, -3, 1}}, {{-3, -2, 1}}, {{-2, 0, 1}}};
    MorphTriangle triangles[4];
    uint32_t background = 0x11223344u;
    int16_t last = 3, block = 1;
    uint16_t flags = MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_BILINEAR | MORPH_WEIGHT_SMOOTH;
    SetVars(&background, &last, &flags, &block);
    int32_t result = -1;
    // Sizes change between runs so the renderer must allocate afresh.
    int32_t side = 24;
    auto draw = [&] {
        std::memcpy(triangles, mesh, sizeof mesh);
        result = DrawMorph(src.dc(), dst.dc(), out.dc(), src.bitmap(), dst.bitmap(), out.bitmap(), fx + 3, fy + 3,
                           w + 3, cp, triangles, side, 20, side, 20, side, 20, 1, 3);
    };
    draw();
    ASSERT_EQ(result, MORPH_OK);
    const std::vector<uint8_t> expected = out.pixels();
    std::vector<uint8_t> blank(expected.size(), 0xEE);
    auto freshDraw = [&] {
        side = side == 24 ? 2400 : 24;  // alternate: a large frame, then the real one
        draw();
        if (side == 2400) {
            side = 24;
            std::memcpy(GetHostBitmapBits(out.bitmap()), blank.data(), blank.size());
            draw();
        }
    };
    SweepFailures(freshDraw, [&](long n, long) {
        ASSERT_TRUE(result == MORPH_OK || result == MORPH_NO_MEMORY) << n;
        if (result == MORPH_OK) {
            ASSERT_EQ(out.pixels(), expected) << n;
        } else {
            ASSERT_EQ(out.pixels(), blank) << n;  // nothing written
        }
    });
    // With memory back, the buffers come back too.
    side = 24;
    draw();
    EXPECT_EQ(result, MORPH_OK);
    EXPECT_EQ(out.pixels(), expected);
    SetVars(nullptr, nullptr, nullptr, nullptr);
}

TEST_F(AllocationFailures, GifWriterStartFrameEnd)
{
    qv::test::HostPicture frame(20, 12, 32);
    frame.fillPattern(4);
    const std::string path = qv::test::ScratchPath("alloc.gif");
    int32_t start = -1, first = -1, second = -1;
    bool handleStored = false;
    auto run = [&] {
        GifWriter* writer = nullptr;
        start = RenderAnimatedGIFStart(path.c_str(), 20, 12, 32, 2500, 0, &writer);
        handleStored = writer != nullptr;
        first = RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer);
        second = RenderAnimatedGIF(frame.dc(), frame.bitmap(), 2, writer);
        RenderAnimatedGIFEnd(writer);
    };
    run();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(first, 0);
    const std::vector<uint8_t> expected = qv::test::ReadFileBytes(path);
    SweepFailures(run, [&](long n, long leaked) {
        ASSERT_TRUE(start >= 0 && start <= 4) << n;
        EXPECT_EQ(handleStored, start != 1) << n;
        if (start != 0) {
            EXPECT_EQ(first, start == 1 || start == 2 || start == 3 ? 1 : 4) << n;
        } else {
            EXPECT_TRUE(first == 0 || first == 2 || first == 3) << n << " " << first;
            EXPECT_TRUE(second == 0 || second == 2 || second == 3) << n << " " << second;
        }
        if (start == 0 && first == 0 && second == 0) {
            EXPECT_EQ(qv::test::ReadFileBytes(path), expected) << n;
        }
        EXPECT_EQ(leaked, 0) << "blocks left after allocation " << n << " failed";
    });
}

int32_t MotionJpeg(void*, AVICOMPRESSOPTIONS* options)
{
    options->fccHandler = QV_FOURCC('M', 'J', 'P', 'G');
    options->dwQuality = 9000;
    return 1;
}

void SweepAviWriter(HostCompressorChooser chooser)
{
    qv::test::HostPicture frame(16, 8, 24);
    frame.fillPattern(5);
    HostWindow* window = CreateHostWindow(chooser, nullptr);
    const std::string path = qv::test::ScratchPath("alloc.avi");
    int32_t start = -1, first = -1, second = -1;
    bool handleStored = false;
    auto run = [&] {
        AviWriter* writer = nullptr;
        start = RenderCompressedStart(window, path.c_str(), 16, 8, 24, 2500, 2, &writer);
        handleStored = writer != nullptr;
        first = RenderCompressed(frame.dc(), frame.bitmap(), 0, writer);
        second = RenderCompressed(frame.dc(), frame.bitmap(), 1, writer);
        RenderCompressedEnd(writer);
    };
    run();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(first, 0);
    const std::vector<uint8_t> expected = qv::test::ReadFileBytes(path);
    SweepFailures(run, [&](long n, long leaked) {
        ASSERT_TRUE(start >= 0 && start <= 7) << n;
        EXPECT_EQ(handleStored, start != 1) << n;
        EXPECT_TRUE(first == 0 || first == 1) << n;
        if (start != 0) {
            EXPECT_EQ(first, 1) << n;
        }
        // Uncompressed frames are exact: a file whose every call succeeded
        // is the file made without failures.
        // (End cannot report: when memory runs out as it completes the file,
        // the file keeps its frames without the index and final header.)
        const std::vector<uint8_t> file = qv::test::ReadFileBytes(path);
        const bool completed = file.size() > 8 && (file[4] | file[5] | file[6] | file[7]) != 0;
        if (chooser == nullptr && start == 0 && first == 0 && second == 0 && completed) {
            EXPECT_EQ(file, expected) << n;
        }
        EXPECT_EQ(leaked, 0) << "blocks left after allocation " << n << " failed";
    });
    DeleteHostWindow(window);
}

TEST_F(AllocationFailures, AviWriterUncompressed) { SweepAviWriter(nullptr); }
TEST_F(AllocationFailures, AviWriterMotionJpeg) { SweepAviWriter(&MotionJpeg); }

TEST_F(AllocationFailures, DISABLED_VideoReader)
{
    const std::string path = qv::test::ScratchPath("read.avi");
    {
        qv::test::HostPicture frame(16, 8, 24);
        HostWindow* window = CreateHostWindow(&MotionJpeg, nullptr);
        AviWriter* writer = nullptr;
        ASSERT_EQ(RenderCompressedStart(window, path.c_str(), 16, 8, 24, 2500, 3, &writer), 0);
        for (uint32_t i = 0; i < 3; ++i) {
            frame.fillPattern(i);
            ASSERT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), i, writer), 0);
        }
        RenderCompressedEnd(writer);
        DeleteHostWindow(window);
    }
    qv::test::HostPicture target(16, 8, 32);
    int32_t info = -1, drawn = -1, width = 0;
    auto run = [&] {
        int32_t h = 0, length = 0;
        float rate = 0;
        width = 0;
        info = GetAVIinfo(path.c_str(), &width, &h, &rate, &length);
        std::memset(GetHostBitmapBits(target.bitmap()), 0, target.bytes());
        drawn = GetAVIframe(target.dc(), path.c_str(), 2, 1.0f);
    };
    run();
    ASSERT_EQ(info, 0);
    ASSERT_EQ(drawn, 0);
    const std::vector<uint8_t> expected = target.pixels();
    SweepFailures(run, [&](long n, long leaked) {
        ASSERT_TRUE(info >= 0 && info <= 3) << n;
        if (info == 0) {
            EXPECT_EQ(width, 16) << n;
        }
        ASSERT_TRUE(drawn >= 0 && drawn <= 5) << n;
        if (drawn == 0) {
            EXPECT_EQ(target.pixels(), expected) << n;
        }
        EXPECT_EQ(leaked, 0) << "blocks left after allocation " << n << " failed";
    });
}

void SweepStillExport(int32_t format)
{
    int jpegSaverLeaks = 0;
    qv::test::HostPicture picture(20, 10, 32);
    picture.fillPattern(6);
    const std::string path = qv::test::ScratchPath("alloc.still");
    int32_t saved = -1;
    auto run = [&] {
        std::remove(path.c_str());
        saved = SaveToFreeImage(picture.dc(), picture.bitmap(), 20, 10, 32, path.c_str(), format, 0);
    };
    run();
    ASSERT_EQ(saved, 1);
    const std::vector<uint8_t> expected = qv::test::ReadFileBytes(path);
    SweepFailures(run, [&](long n, long leaked) {
        ASSERT_TRUE(saved == 0 || saved == 1) << n;
        if (saved == 1) {
            EXPECT_EQ(qv::test::ReadFileBytes(path), expected) << format << " " << n;
        }
        // FreeImage 3.18's JPEG saver loses its compressor's blocks when one
        // of its own allocations fails; everything of the library's is freed.
        if (format != 4 || saved == 1) {
            EXPECT_EQ(leaked, 0) << format << ": blocks left after allocation " << n << " failed";
        } else if (leaked != 0) {
            ++jpegSaverLeaks;
        }
    });
    if (format == 4) ::testing::Test::RecordProperty("jpeg_saver_error_paths_leaking", std::to_string(jpegSaverLeaks));
}

TEST_F(AllocationFailures, StillExportJpeg) { SweepStillExport(4); }
TEST_F(AllocationFailures, StillExportPng) { SweepStillExport(13); }
// libtiff crashes in TIFFClose once one of its own allocations has failed.
TEST_F(AllocationFailures, DISABLED_StillExportTiff) { SweepStillExport(5); }

}  // namespace

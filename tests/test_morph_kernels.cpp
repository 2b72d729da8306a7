// Every span kernel against the portable one: random scenes, flags, weights
// and block sizes must give byte-identical output buffers and identical
// triangle write-back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "morph/span_kernel.h"
#include "support/host_scene.h"

namespace {

using qv::morph::Kernel;

class KernelSwitch {
public:
    explicit KernelSwitch(Kernel k) : previous_(qv::morph::ActiveKernel()) { ok_ = qv::morph::UseKernel(k); }
    ~KernelSwitch() { qv::morph::UseKernel(previous_); }
    bool ok() const { return ok_; }

private:
    Kernel previous_;
    bool ok_;
};

// Large outputs and meshes, so that spans run many lanes wide, most reads take
// the gather path and some wrap.
qv::test::RefScene WideScene(std::mt19937& rng)
{
    qv::test::RefScene sc = qv::test::RandomScene(rng);
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    sc.outW = static_cast<int16_t>(uniform(1, 160));
    sc.outH = static_cast<int16_t>(uniform(1, 90));
    for (size_t v = 0; v < sc.frameX.size(); ++v) {
        sc.frameX[v] = static_cast<int16_t>(uniform(-20, sc.outW + 20));
        sc.frameY[v] = static_cast<int16_t>(uniform(-20, sc.outH + 20));
    }
    // Now and then weights that are not finite, or far outside 0..1.
    const float specials[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -3.5f, 7.25f};
    for (float& w : sc.weights)
        if (uniform(0, 9) == 0) w = specials[uniform(0, 3)];
    return sc;
}

// A morph as hosts make them: pictures the size of the output, a grid mesh
// whose inner control points move by up to a third of a cell, and an
// in-between weight k/n, which has fixed-point dissolve factors (but 0 and
// 1 have none). Reads and writes stay mostly inside the pictures; the
// borders and the lanes past a row's end still wrap.
qv::test::RefScene GridMorphScene(std::mt19937& rng)
{
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    qv::test::RefScene sc;
    const int w = uniform(8, 200), h = uniform(8, 120);
    sc.srcW = sc.dstW = sc.outW = static_cast<int16_t>(w);
    sc.srcH = sc.dstH = sc.outH = static_cast<int16_t>(h);
    const uint32_t palette[4] = {0x00000000u, 0x00FFFFFFu, 0x44332211u, 0x0080FF00u};
    auto colour = [&] { return uniform(0, 7) == 0 ? palette[uniform(0, 3)] : static_cast<uint32_t>(rng()); };
    sc.src.resize(static_cast<size_t>(w * h));
    sc.dst.resize(sc.src.size());
    for (auto& p : sc.src) p = colour();
    for (auto& p : sc.dst) p = colour();
    sc.background = palette[uniform(0, 3)];

    const int cols = uniform(1, 6), rows = uniform(1, 5);
    const int inner = (cols + 1) * (rows + 1) - 4;  // every grid point but the corners
    sc.frameX.assign(static_cast<size_t>(inner + 4), 0);
    sc.frameY.assign(sc.frameX.size(), 0);
    sc.weights.assign(sc.frameX.size(), 0.0f);
    sc.controlPoints.assign(static_cast<size_t>(4 * inner + 2), 0);
    std::vector<int16_t> id(static_cast<size_t>((cols + 1) * (rows + 1)));
    int16_t next = 1;
    const double cellW = static_cast<double>(w - 1) / cols, cellH = static_cast<double>(h - 1) / rows;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= cols; ++i) {
            int16_t v;
            if (i == 0 && j == 0) v = 0;
            else if (i == cols && j == 0) v = -1;
            else if (i == 0 && j == rows) v = -2;
            else if (i == cols && j == rows) v = -3;
            else v = next++;
            id[static_cast<size_t>(j * (cols + 1) + i)] = v;
            const int x = static_cast<int>(std::lround(i * cellW)), y = static_cast<int>(std::lround(j * cellH));
            if (v >= 1) {
                const auto k = static_cast<size_t>(v);
                const int jx = static_cast<int>(cellW / 3), jy = static_cast<int>(cellH / 3);
                sc.frameX[k + 3] = static_cast<int16_t>(x + uniform(-jx, jx));
                sc.frameY[k + 3] = static_cast<int16_t>(y + uniform(-jy, jy));
                sc.weights[k + 3] = static_cast<float>(uniform(0, 8)) / 8.0f;
                // Stored positions are picture positions less 2.
                sc.controlPoints[4 * k - 2] = static_cast<int16_t>(y + uniform(-jy, jy) - 2);
                sc.controlPoints[4 * k - 1] = static_cast<int16_t>(x + uniform(-jx, jx) - 2);
                sc.controlPoints[4 * k] = static_cast<int16_t>(y + uniform(-jy, jy) - 2);
                sc.controlPoints[4 * k + 1] = static_cast<int16_t>(x + uniform(-jx, jx) - 2);
            } else if (i % cols == 0 && j % rows == 0) {
                const auto k = static_cast<size_t>(v + 3);
                sc.frameX[k] = static_cast<int16_t>(x);
                sc.frameY[k] = static_cast<int16_t>(y);
                sc.weights[k] = static_cast<float>(uniform(0, 8)) / 8.0f;
            }
        }
    // Cells whose four vertices are distinct become two triangles each.
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < cols; ++i) {
            const int16_t a = id[static_cast<size_t>(j * (cols + 1) + i)];
            const int16_t b = id[static_cast<size_t>(j * (cols + 1) + i + 1)];
            const int16_t c = id[static_cast<size_t>((j + 1) * (cols + 1) + i)];
            const int16_t d = id[static_cast<size_t>((j + 1) * (cols + 1) + i + 1)];
            if (a != b && b != c && a != c) sc.triangles.push_back({{a, b, c}});
            if (b != d && d != c && b != c) sc.triangles.push_back({{b, d, c}});
        }
    sc.lastTriangle = static_cast<int16_t>(static_cast<int>(sc.triangles.size()) - 1);
    sc.flags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    const uint16_t bits[] = {MORPH_BILINEAR, MORPH_KEY_COLOR, MORPH_KEY_FADE, MORPH_WEIGHT_FLAT};
    for (uint16_t bit : bits)
        if (uniform(0, 1)) sc.flags = static_cast<uint16_t>(sc.flags | bit);
    if (uniform(0, 7) == 0) sc.flags = static_cast<uint16_t>(sc.flags | MORPH_WEIGHT_SMOOTH);
    const int16_t blocks[] = {1, 1, 1, 2, 3, 4};
    sc.blockSize = blocks[uniform(0, 5)];
    sc.frameCount = static_cast<int16_t>(uniform(1, 60));
    sc.frameIndex = static_cast<int16_t>(uniform(0, sc.frameCount));
    return sc;
}

// A grid morph whose source map is the identity and whose destination map
// doubles every coordinate: the exact mapped positions fall on whole and half
// pixels, where the last bit of each weight and the order of the sums decide
// the pixel that is read.
qv::test::RefScene AlignedGridScene(std::mt19937& rng)
{
    qv::test::RefScene sc = GridMorphScene(rng);
    sc.dstW = static_cast<int16_t>(2 * sc.outW - 1);
    sc.dstH = static_cast<int16_t>(2 * sc.outH - 1);
    sc.dst.resize(static_cast<size_t>(sc.dstW * sc.dstH));
    for (auto& p : sc.dst) p = static_cast<uint32_t>(rng());
    const size_t points = (sc.controlPoints.size() - 2) / 4;
    for (size_t k = 1; k <= points; ++k) {
        // Stored positions are picture positions less 2.
        const int x = sc.frameX[k + 3], y = sc.frameY[k + 3];
        sc.controlPoints[4 * k - 1] = static_cast<int16_t>(x - 2);
        sc.controlPoints[4 * k - 2] = static_cast<int16_t>(y - 2);
        sc.controlPoints[4 * k + 1] = static_cast<int16_t>(2 * x - 2);
        sc.controlPoints[4 * k] = static_cast<int16_t>(2 * y - 2);
    }
    sc.flags = static_cast<uint16_t>(sc.flags & ~MORPH_WEIGHT_SMOOTH);
    return sc;
}

template <typename MakeScene>
void ExpectSameAsPortable(Kernel kernel, int scenes, MakeScene make)
{
    std::mt19937 rng(7 + static_cast<unsigned>(kernel));
    for (int n = 0; n < scenes; ++n) {
        qv::test::RefScene scene = make(rng);
        qv::test::RefScene portableScene = scene;
        std::vector<uint32_t> expected, actual;
        {
            KernelSwitch use(Kernel::Portable);
            ASSERT_EQ(qv::test::RenderThroughLibrary(portableScene, expected), MORPH_OK);
        }
        {
            KernelSwitch use(kernel);
            ASSERT_TRUE(use.ok());
            ASSERT_EQ(qv::test::RenderThroughLibrary(scene, actual), MORPH_OK);
        }
        ASSERT_EQ(actual, expected) << qv::morph::KernelName(kernel) << " scene " << n << " flags " << scene.flags
                                    << " block " << scene.blockSize;
        for (size_t t = 0; t < scene.triangles.size(); ++t)
            ASSERT_EQ(std::memcmp(scene.triangles[t].v, portableScene.triangles[t].v, 6), 0) << "scene " << n;
    }
}

template <typename MakeScene>
void ExpectPortableMatchesReference(unsigned seed, int scenes, MakeScene make)
{
    KernelSwitch use(Kernel::Portable);
    std::mt19937 rng(seed);
    for (int n = 0; n < scenes; ++n) {
        qv::test::RefScene scene = make(rng);
        qv::test::RefScene refScene = scene;
        std::vector<uint32_t> actual;
        ASSERT_EQ(qv::test::RenderThroughLibrary(scene, actual), MORPH_OK);
        ASSERT_EQ(actual, qv::test::ReferenceRender(refScene)) << "scene " << n;
    }
}

TEST(SpanKernels, PortableKernelMatchesTheReference)
{
    ExpectPortableMatchesReference(99, 500, WideScene);
    ExpectPortableMatchesReference(98, 200, GridMorphScene);
    ExpectPortableMatchesReference(97, 150, AlignedGridScene);
}

TEST(SpanKernels, Avx2IsByteIdenticalToPortable)
{
    if (!qv::morph::KernelAvailable(Kernel::Avx2)) GTEST_SKIP() << "processor has no AVX2";
    ExpectSameAsPortable(Kernel::Avx2, 1500, WideScene);
    ExpectSameAsPortable(Kernel::Avx2, 400, GridMorphScene);
    ExpectSameAsPortable(Kernel::Avx2, 300, AlignedGridScene);
}

TEST(SpanKernels, Avx512IsByteIdenticalToPortable)
{
    if (!qv::morph::KernelAvailable(Kernel::Avx512)) GTEST_SKIP() << "processor has no AVX-512";
    ExpectSameAsPortable(Kernel::Avx512, 1500, WideScene);
    ExpectSameAsPortable(Kernel::Avx512, 400, GridMorphScene);
    ExpectSameAsPortable(Kernel::Avx512, 300, AlignedGridScene);
}

// Rows handed to the kernels directly, three per case, each kernel's output
// against the portable kernel's. `makeRow` fills a row's factors and span.
template <typename MakeRow>
void ExpectRowsMatchPortable(std::mt19937& rng, int cases, int cornerRange, MakeRow makeRow)
{
    using namespace qv::morph;
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<uint32_t> src(37 * 23), dst(29 * 31);
    for (auto& p : src) p = static_cast<uint32_t>(rng());
    for (auto& p : dst) p = static_cast<uint32_t>(rng());
    for (int n = 0; n < cases; ++n) {
        TriangleSetup s;
        s.xTop = uniform(-300, 300), s.yTop = uniform(-50, 0);
        s.xMid = uniform(-300, 300), s.yMid = uniform(0, 40);
        s.xBottom = uniform(-300, 300), s.yBottom = uniform(40, 90);
        for (auto* corners : {s.srcCorners, s.dstCorners})
            for (int k = 0; k < 3; ++k) corners[k] = {uniform(-cornerRange, cornerRange), uniform(-cornerRange, cornerRange)};
        const uint16_t flags = static_cast<uint16_t>(MORPH_USE_SOURCE | MORPH_USE_DEST |
                                                     (n % 2 ? MORPH_BILINEAR : 0) | (n % 3 == 0 ? MORPH_KEY_COLOR : 0));
        RowSpan rows[3];
        for (RowSpan& row : rows) makeRow(s, row);
        const int16_t block = static_cast<int16_t>(uniform(1, 3));
        std::vector<uint32_t> expected;
        for (Kernel kernel : {Kernel::Portable, Kernel::Avx2, Kernel::Avx512}) {
            if (!KernelAvailable(kernel)) continue;
            KernelSwitch use(kernel);
            std::vector<uint32_t> out(41 * 17, 0x00ABCDEFu);
            FrameRecord frame;
            frame.src = {src.data(), 37, 23, static_cast<uint32_t>(src.size())};
            frame.dst = {dst.data(), 29, 31, static_cast<uint32_t>(dst.size())};
            frame.out = {out.data(), 41, 17, static_cast<uint32_t>(out.size())};
            frame.block = MakeBlockParams(block);
            frame.morphWeight = 0.375f;
            TriangleJob job;
            job.frame = &frame;
            job.setup = &s;
            job.flags = flags;
            job.key = src[5];
            job.dissolve = &DissolveFactorsFor(frame.dissolve, frame.morphWeight);
            ActiveSpanKernel()(job, rows, 3);
            if (kernel == Kernel::Portable) expected = out;
            else ASSERT_EQ(out, expected) << KernelName(kernel) << " case " << n;
        }
    }
}

// Columns around 2^30: far beyond what 16-bit frame positions give, so the
// distances to the vertices wrap as 32-bit numbers and the products cannot
// be stepped along the row.
TEST(SpanKernels, RowsFarFromTheOriginMatchPortable)
{
    std::mt19937 rng(11);
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int32_t starts[] = {(1 << 30) - 9, -(1 << 30) + 3, INT32_MAX - 40, INT32_MIN + 5, (1 << 28) - 4,
                              -(1 << 28) - 17};
    ExpectRowsMatchPortable(rng, 120, 60, [&](const qv::morph::TriangleSetup& s, qv::morph::RowSpan& row) {
        row.y = uniform(-60, 100);
        const float area = static_cast<float>(uniform(2, 4000)) * (uniform(0, 1) ? 1.0f : -1.0f);
        row.qTop = static_cast<float>(s.yTop - row.y) / area;
        row.qMid = static_cast<float>(s.yMid - row.y) / area;
        row.qBottom = static_cast<float>(s.yBottom - row.y) / area;
        row.left = starts[uniform(0, 5)];
        row.right = static_cast<int32_t>(std::min<int64_t>(int64_t{row.left} + uniform(0, 30), INT32_MAX));
    });
}

// Row factors of every magnitude and large corners: the weights' products
// with the corners then have far-apart exponents, their sums round, and the
// order and rounding of every step of the mapping shows in the pixels read
// and, through the bilinear fractions, in the channel values.
TEST(SpanKernels, RowFactorsOfEveryMagnitudeMatchPortable)
{
    std::mt19937 rng(12);
    auto uniform = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const auto factor = [&] {
        const float f = std::ldexp(static_cast<float>(uniform(1 << 23, (1 << 24) - 1)), uniform(-63, -19));
        return uniform(0, 1) ? f : -f;
    };
    ExpectRowsMatchPortable(rng, 3000, 30000, [&](const qv::morph::TriangleSetup&, qv::morph::RowSpan& row) {
        row.y = uniform(-60, 100);
        row.qTop = factor();
        row.qMid = factor();
        row.qBottom = factor();
        row.left = uniform(-400, 400);
        row.right = row.left + uniform(0, 40);
    });
}

TEST(SpanKernels, DefaultIsTheFastestAvailable)
{
    if (std::getenv("QUORVANE_KERNEL") != nullptr) GTEST_SKIP() << "QUORVANE_KERNEL chooses the kernel";
    const Kernel active = qv::morph::ActiveKernel();
    if (qv::morph::KernelAvailable(Kernel::Avx512)) EXPECT_EQ(active, Kernel::Avx512);
    else if (qv::morph::KernelAvailable(Kernel::Avx2)) EXPECT_EQ(active, Kernel::Avx2);
    else EXPECT_EQ(active, Kernel::Portable);
    EXPECT_TRUE(qv::morph::KernelAvailable(Kernel::Portable));
}

Kernel Best()
{
    if (qv::ProcessorHas(Kernel::Avx512)) return Kernel::Avx512;
    return qv::ProcessorHas(Kernel::Avx2) ? Kernel::Avx2 : Kernel::Portable;
}

TEST(KernelChoice, RequestCapsTheKernelAtWhatTheProcessorHas)
{
    EXPECT_EQ(qv::StartingKernel("portable"), Kernel::Portable);
    EXPECT_EQ(qv::StartingKernel("avx2"), qv::ProcessorHas(Kernel::Avx2) ? Kernel::Avx2 : Kernel::Portable);
    EXPECT_EQ(qv::StartingKernel("avx512"), Best());
    EXPECT_EQ(qv::StartingKernel(nullptr), Best());
    EXPECT_EQ(qv::StartingKernel("AVX2 please"), Best());
}

// Prints the kernel in use, for the test below, which runs this binary again
// with QUORVANE_KERNEL set.
TEST(KernelChoice, ReportsTheActiveKernel)
{
    std::printf("active kernel: <%s>\n", qv::morph::KernelName(qv::morph::ActiveKernel()));
}

TEST(KernelChoice, EnvironmentChoosesTheKernelFromTheStart)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    for (const char* name : {"portable", "avx2"}) {
        const std::string command = std::string("QUORVANE_KERNEL=") + name + " '" + self +
                                    "' --gtest_filter=KernelChoice.ReportsTheActiveKernel 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output;
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        ASSERT_EQ(pclose(pipe), 0) << output;
        const std::string expected = std::string("<") + qv::morph::KernelName(qv::StartingKernel(name)) + ">";
        EXPECT_NE(output.find(expected), std::string::npos) << output;
    }
}

}  // namespace

// SetVars and DrawMorph driven the way a careless or hostile host could drive
// them: unbound settings, sizes at and past the 16-bit limits, null handles
// and settings, every flag word, block sizes from -32768 to 32767, vertex
// positions at the 16-bit limits, NaN and infinite weights. Every call gives
// its documented code, and the output is a function of the input alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "hostile_support.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A mesh of `points` control points: vertex arrays from -3, a control point
// table with room for every identifier, and triangles over any identifiers.
struct Mesh {
    explicit Mesh(int points) : x(points + 4), y(points + 4), w(points + 4), cp(4 * points + 4) {}
    std::vector<int16_t> x, y;
    std::vector<float> w;
    std::vector<int16_t> cp;
    std::vector<MorphTriangle> triangles;
    const int16_t* fx() const { return x.data() + 3; }
    const int16_t* fy() const { return y.data() + 3; }
    const float* fw() const { return w.data() + 3; }
};

// Corner positions and a control point in the middle, four triangles.
Mesh FanMesh(int16_t width, int16_t height)
{
    Mesh m(1);
    const int16_t r = static_cast<int16_t>(width - 1), b = static_cast<int16_t>(height - 1);
    m.x = {r, 0, r, 0, static_cast<int16_t>(width / 2)};  // ids -3, -2, -1, 0, 1
    m.y = {b, b, 0, 0, static_cast<int16_t>(height / 2)};
    m.w = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    m.cp = {0, 0, static_cast<int16_t>(height / 2 - 2), static_cast<int16_t>(width / 2 - 2),
            static_cast<int16_t>(height / 3 - 2), static_cast<int16_t>(width / 3 - 2), 0, 0};
    m.triangles = {{{0, -1, 1}}, {{-1, -3, 1}}, {{-3, -2, 1}}, {{-2, 0, 1}}};
    return m;
}

struct Scene {
    Scene(int32_t side, int32_t outDepth = 32)
        : src(side, side, 32), dst(side, side, 24), out(side, side, outDepth)
    {
        src.fillPattern(1);
        dst.fillPattern(2);
    }
    qv::test::HostPicture src, dst, out;
};

int32_t Draw(const Scene& s, Mesh& m, int32_t w, int32_t h, int32_t index = 1, int32_t count = 3)
{
    return DrawMorph(s.src.dc(), s.dst.dc(), s.out.dc(), s.src.bitmap(), s.dst.bitmap(), s.out.bitmap(), m.fx(),
                     m.fy(), m.fw(), m.cp.data(), m.triangles.data(), w, h, w, h, w, h, index, count);
}

class HostileMorph : public ::testing::Test {
protected:
    void SetUp() override { SetVars(&background, &lastTriangle, &flags, &block); }
    void TearDown() override { SetVars(nullptr, nullptr, nullptr, nullptr); }
    uint32_t background = 0x00402010u;
    int16_t lastTriangle = 3;
    uint16_t flags = MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_BILINEAR;
    int16_t block = 1;
};

TEST(HostileMorphSettings, UnboundOrNullBackgroundGives42AndTouchesNothing)
{
    Scene s(8);
    s.out.fillPattern(9);
    const std::vector<uint8_t> before = s.out.pixels();
    Mesh m = FanMesh(8, 8);
    const std::vector<MorphTriangle> triangles = m.triangles;
    int16_t last = 3, block = 1;
    uint16_t flags = MORPH_USE_SOURCE;
    SetVars(nullptr, &last, &flags, &block);
    EXPECT_EQ(Draw(s, m, 8, 8), MORPH_NOT_BOUND);
    SetVars(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(Draw(s, m, 8, 8), MORPH_NOT_BOUND);
    // Even with every other argument null or at its worst.
    EXPECT_EQ(DrawMorph(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, 0, -1, 32767, INT32_MIN, INT32_MAX, 0, 0, 0),
              MORPH_NOT_BOUND);
    EXPECT_EQ(s.out.pixels(), before);
    EXPECT_EQ(std::memcmp(m.triangles.data(), triangles.data(), triangles.size() * sizeof(MorphTriangle)), 0);
}

TEST(HostileMorphSettings, NullOptionalSettingsReadAsNoTriangleNoFlagBlockOne)
{
    Scene s(4);
    Mesh m = FanMesh(4, 4);
    const std::vector<MorphTriangle> triangles = m.triangles;
    uint32_t background = 0x44332211u;
    SetVars(&background, nullptr, nullptr, nullptr);
    ASSERT_EQ(Draw(s, m, 4, 4), MORPH_OK);
    SetVars(nullptr, nullptr, nullptr, nullptr);
    // Background fill only: bytes 0x33 0x22 0x11 0x00 at every pixel.
    const std::vector<uint8_t> out = s.out.pixels();
    for (size_t i = 0; i < out.size(); i += 4) {
        ASSERT_EQ(out[i], 0x33);
        ASSERT_EQ(out[i + 1], 0x22);
        ASSERT_EQ(out[i + 2], 0x11);
    }
    EXPECT_EQ(std::memcmp(m.triangles.data(), triangles.data(), triangles.size() * sizeof(MorphTriangle)), 0);
}

TEST_F(HostileMorph, EverySizeBelowOneGivesBadSizeAndTouchesNothing)
{
    Scene s(8);
    s.out.fillPattern(5);
    const std::vector<uint8_t> before = s.out.pixels();
    Mesh m = FanMesh(8, 8);
    const std::vector<MorphTriangle> triangles = m.triangles;
    const int32_t bad[] = {0, -1, -2, -32768, 0xFFFF, 0x8000, 0x10000, INT32_MIN, -65536};
    for (int which = 0; which < 6; ++which) {
        for (int32_t value : bad) {
            int32_t sizes[6] = {8, 8, 8, 8, 8, 8};
            sizes[which] = value;
            EXPECT_EQ(DrawMorph(s.src.dc(), s.dst.dc(), s.out.dc(), s.src.bitmap(), s.dst.bitmap(), s.out.bitmap(),
                                m.fx(), m.fy(), m.fw(), m.cp.data(), m.triangles.data(), sizes[0], sizes[1],
                                sizes[2], sizes[3], sizes[4], sizes[5], 1, 2),
                      MORPH_BAD_SIZE)
                << "size " << which << " = " << value;
        }
    }
    EXPECT_EQ(s.out.pixels(), before);
    EXPECT_EQ(std::memcmp(m.triangles.data(), triangles.data(), triangles.size() * sizeof(MorphTriangle)), 0);
}

TEST_F(HostileMorph, SizesAtThe16BitLimitRender)
{
    // 32767 in one dimension (and slots whose upper half is set): the
    // pictures are far larger than the host's bitmaps, which are read and
    // written where they overlap.
    Scene s(8);
    Mesh m = FanMesh(8, 8);
    for (int32_t wide : {32767, 0x7FFF | 0x10000, 0x12347FFF}) {
        EXPECT_EQ(Draw(s, m, wide, 2), MORPH_OK);
        EXPECT_EQ(Draw(s, m, 2, wide), MORPH_OK);
    }
}

TEST_F(HostileMorph, LargestPicturesGiveNoMemoryWhenTheAllocatorRefuses)
{
    if (hostile::RunningUnderAddressSanitizer()) GTEST_SKIP() << "address space limits need the plain build";
    // 32767 x 32767 pixels are 4 GiB per buffer: in a process allowed 1 GiB
    // more than it has, the first allocation fails and the call says so.
    EXPECT_EXIT(
        {
            Scene s(8);
            Mesh m = FanMesh(8, 8);
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            std::FILE* statm = std::fopen("/proc/self/statm", "r");
            size_t pages = 0;
            if (statm == nullptr || std::fscanf(statm, "%zu", &pages) != 1) _exit(3);
            std::fclose(statm);
            limit.rlim_cur = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + (size_t{1} << 30);
            setrlimit(RLIMIT_AS, &limit);
            const int32_t result = Draw(s, m, 32767, 32767);
            // And the renderer recovers as soon as memory is there again.
            const int32_t next = Draw(s, m, 8, 8);
            _exit(result == MORPH_NO_MEMORY && next == MORPH_OK ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(HostileMorph, NullHandlesAndArraysWhereNothingReadsThem)
{
    Mesh m = FanMesh(8, 8);
    // No triangle: the arrays are never read; null pictures read as black and
    // a null output takes nothing.
    lastTriangle = -1;
    EXPECT_EQ(DrawMorph(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, 8, 8, 8, 8, 8, 8, 0, 1),
              MORPH_OK);
    // Neither picture in use: the triangles are not visited either.
    lastTriangle = 3;
    flags = MORPH_BILINEAR | MORPH_WEIGHT_SMOOTH;
    EXPECT_EQ(DrawMorph(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr, 8, 8, 8, 8, 8, 8, 0, 1),
              MORPH_OK);
    // Null pictures with real triangles: both sides read as black, so the
    // output inside the triangles is black and outside is the background.
    flags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    qv::test::HostPicture out(8, 8, 32);
    ASSERT_EQ(DrawMorph(nullptr, nullptr, out.dc(), nullptr, nullptr, out.bitmap(), m.fx(), m.fy(), m.fw(),
                        m.cp.data(), m.triangles.data(), 8, 8, 8, 8, 8, 8, 0, 1),
              MORPH_OK);
    const std::vector<uint8_t> px = out.pixels();
    uint32_t word = 0;
    std::memcpy(&word, px.data() + (4 * 8 + 4) * 4, 4);  // (4, 4), inside the fan
    EXPECT_EQ(word, 0u);
    // A DC without a bitmap is the same as no picture.
    qv::test::HostPicture lone(8, 8, 32);
    HostDC* empty = CreateHostDC(nullptr);
    EXPECT_EQ(DrawMorph(empty, empty, empty, nullptr, nullptr, nullptr, m.fx(), m.fy(), m.fw(), m.cp.data(),
                        m.triangles.data(), 8, 8, 8, 8, 8, 8, 0, 1),
              MORPH_OK);
    DeleteHostDC(empty);
}

TEST_F(HostileMorph, EveryFlagWordAndBlockSizeIsRepeatable)
{
    const int16_t blocks[] = {-32768, -5, -1, 0, 1, 2, 3, 4, 5, 8, 15, 16, 17, 255, 4096, 32767};
    const uint16_t flagWords[] = {0, 0xFFFF, 0x0001, 0x0002, 0x0004, 0x0006, 0x0100, 0x0200, 0x0300, 0x1300,
                                  0x2300, 0x6300, 0xE306, 0x8300, 0x7FFF, 0x00FF, 0xF000, 0x3302};
    Scene s(13);
    for (int16_t b : blocks) {
        for (uint16_t f : flagWords) {
            block = b;
            flags = f;
            Mesh first = FanMesh(13, 13);
            ASSERT_EQ(Draw(s, first, 13, 13, 2, 5), MORPH_OK) << b << " " << f;
            const std::vector<uint8_t> once = s.out.pixels();
            Mesh second = FanMesh(13, 13);
            ASSERT_EQ(Draw(s, second, 13, 13, 2, 5), MORPH_OK);
            ASSERT_EQ(s.out.pixels(), once) << "block " << b << " flags " << f;
        }
    }
}

TEST_F(HostileMorph, NonFiniteWeightsRenderTheSameWayEveryTime)
{
    const float weights[] = {kNaN, -kNaN, kInf, -kInf, std::numeric_limits<float>::max(),
                             -std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(),
                             1e10f, -1e10f, 2.5f, -0.5f};
    const uint16_t flagWords[] = {MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_WEIGHT_SMOOTH,
                                  MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_WEIGHT_FLAT | MORPH_BILINEAR,
                                  MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_WEIGHT_SMOOTH | MORPH_BILINEAR |
                                      MORPH_KEY_COLOR | MORPH_KEY_FADE};
    Scene s(11);
    for (uint16_t f : flagWords) {
        flags = f;
        for (float weight : weights) {
            Mesh m = FanMesh(11, 11);
            for (float& w : m.w) w = weight;
            m.w[0] = 0.5f;  // a mix of finite and non-finite weights
            ASSERT_EQ(Draw(s, m, 11, 11), MORPH_OK);
            const std::vector<uint8_t> once = s.out.pixels();
            Mesh again = FanMesh(11, 11);
            for (float& w : again.w) w = weight;
            again.w[0] = 0.5f;
            ASSERT_EQ(Draw(s, again, 11, 11), MORPH_OK);
            ASSERT_EQ(s.out.pixels(), once) << "weight " << weight << " flags " << f;
        }
    }
}

TEST_F(HostileMorph, FrameIndexAndCountAtTheirLimits)
{
    const int32_t pairs[][2] = {{0, 0},      {5, 0},          {-32768, -1}, {32767, 1},   {-32768, 32767},
                                {1, -32768}, {0x10005, 0x10000}, {-1, -1},  {INT32_MAX, INT32_MIN}};
    Scene s(9);
    for (const auto& p : pairs) {
        Mesh m = FanMesh(9, 9);
        EXPECT_EQ(Draw(s, m, 9, 9, p[0], p[1]), MORPH_OK) << p[0] << "/" << p[1];
    }
    // A count of 0 is weight 0: the source alone, as frame 0 of any count.
    Mesh zero = FanMesh(9, 9);
    ASSERT_EQ(Draw(s, zero, 9, 9, 7, 0), MORPH_OK);
    const std::vector<uint8_t> byZeroCount = s.out.pixels();
    Mesh first = FanMesh(9, 9);
    ASSERT_EQ(Draw(s, first, 9, 9, 0, 10), MORPH_OK);
    EXPECT_EQ(s.out.pixels(), byZeroCount);
}

TEST_F(HostileMorph, VertexPositionsAndControlPointsAtThe16BitLimits)
{
    // Triangles reaching from -32768 to 32767 in one direction and a few
    // pixels in the other: every read and write wraps into the buffers.
    Scene s(16);
    const int16_t lo = -32768, hi = 32767;
    Mesh m(3);
    m.x = {hi, lo, hi, lo, 0, hi, lo};
    m.y = {3, 3, 0, 0, 1, 2, 1};
    m.w = {0.0f, 0.3f, 0.6f, 1.0f, 0.5f, 0.2f, 0.9f};
    m.cp = {0, 0, lo, lo, hi, hi, hi, lo, lo, hi, -32768, 32767, 32765, -32767, 0, 0};
    m.triangles = {{{0, -1, -2}}, {{-1, -3, -2}}, {{1, 2, -3}}, {{3, 1, 0}}, {{2, 3, -1}}};
    lastTriangle = 4;
    for (uint16_t f : {uint16_t(0x0300), uint16_t(0x1302), uint16_t(0x3304), uint16_t(0x7306)}) {
        for (int16_t b : {int16_t(1), int16_t(2), int16_t(7)}) {
            flags = f;
            block = b;
            Mesh run = m;
            ASSERT_EQ(Draw(s, run, 16, 16), MORPH_OK);
            const std::vector<uint8_t> once = s.out.pixels();
            run = m;
            ASSERT_EQ(Draw(s, run, 16, 16), MORPH_OK);
            ASSERT_EQ(s.out.pixels(), once);
            // The same mesh standing upright.
            Mesh upright = m;
            std::swap(upright.x, upright.y);
            ASSERT_EQ(Draw(s, upright, 16, 16), MORPH_OK);
        }
    }
}

TEST_F(HostileMorph, QuarterPlaneTriangleFinishesInBoundedTime)
{
    // A triangle over a quarter of the 16-bit plane covers 2^29 positions;
    // positions outside the output are not clipped but wrap, so the work
    // follows the area, whatever the block size.
    Scene s(8);
    Mesh m(0);
    m.x = {32767, 0, 32767, 0};
    m.y = {32767, 32767, 0, 0};
    m.w = {0.0f, 0.0f, 0.0f, 0.0f};
    m.triangles = {{{0, -1, -3}}};
    lastTriangle = 0;
    block = 4096;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Draw(s, m, 8, 8), MORPH_OK);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RecordProperty("seconds", std::to_string(seconds));
    EXPECT_LT(seconds, 60.0);
}

TEST_F(HostileMorph, ArbitraryMeshesWithinTheArrays)
{
    // Triangles over any identifiers the arrays hold, with repeated vertices,
    // random positions inside and around the pictures and the largest
    // triangle index the array allows.
    const int points = 40;
    Scene s(23);
    uint32_t x = 12345;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    for (int round = 0; round < 40; ++round) {
        Mesh m(points);
        for (size_t i = 0; i < m.x.size(); ++i) {
            m.x[i] = static_cast<int16_t>(static_cast<int32_t>(next() % 80) - 30);
            m.y[i] = static_cast<int16_t>(static_cast<int32_t>(next() % 80) - 30);
            const uint32_t kind = next() % 8;
            m.w[i] = kind == 0 ? kNaN : kind == 1 ? kInf : kind == 2 ? -kInf : static_cast<float>(next() % 300) / 100.0f - 1.0f;
        }
        for (int16_t& c : m.cp) c = static_cast<int16_t>(static_cast<int32_t>(next() % 90) - 35);
        m.triangles.resize(1 + next() % 60);
        for (MorphTriangle& t : m.triangles)
            for (int16_t& v : t.v) v = static_cast<int16_t>(static_cast<int32_t>(next() % (points + 4)) - 3);
        lastTriangle = static_cast<int16_t>(m.triangles.size() - 1);
        flags = static_cast<uint16_t>(next());
        block = static_cast<int16_t>(static_cast<int32_t>(next() % 9) - 2);
        const int32_t index = static_cast<int32_t>(next() % 7);
        Mesh again = m;
        ASSERT_EQ(Draw(s, m, 23, 23, index, 6), MORPH_OK);
        const std::vector<uint8_t> once = s.out.pixels();
        ASSERT_EQ(Draw(s, again, 23, 23, index, 6), MORPH_OK);
        ASSERT_EQ(s.out.pixels(), once) << "round " << round;
        ASSERT_EQ(std::memcmp(m.triangles.data(), again.triangles.data(), m.triangles.size() * sizeof(MorphTriangle)), 0);
    }
}

TEST_F(HostileMorph, AllThirtyTwoThousandTriangles)
{
    Scene s(32);
    Mesh m(0);
    m.x = {31, 0, 31, 0};
    m.y = {31, 31, 0, 0};
    m.w = {0.0f, 1.0f, 0.5f, 0.25f};
    m.triangles.assign(32768, MorphTriangle{{0, -1, -3}});
    lastTriangle = 32767;
    block = 8;
    EXPECT_EQ(Draw(s, m, 32, 32), MORPH_OK);
    // Each record is rewritten in top, middle, bottom order: y 0, 0, 31 with
    // the first-listed of the two top vertices first.
    EXPECT_EQ(m.triangles[32767].v[2], -3);
}

}  // namespace

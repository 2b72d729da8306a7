// Whole frames through the DrawMorph export on host bitmaps: the call's steps
// and result codes, worked-out frames, and random scenes against the plain
// reference renderer of the tests.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <quorvane/host.h>

#include "support/host_scene.h"
#include "support/reference_morph.h"

namespace {

using qv::test::HostPicture;
using qv::test::RefScene;

// The identity mesh: the four corners of a w x h output over pictures of the
// same size, split into two triangles.
RefScene IdentityScene(int16_t w, int16_t h)
{
    RefScene sc;
    sc.srcW = sc.dstW = sc.outW = w;
    sc.srcH = sc.dstH = sc.outH = h;
    sc.src.resize(static_cast<size_t>(w * h));
    sc.dst.resize(static_cast<size_t>(w * h));
    for (size_t i = 0; i < sc.src.size(); ++i) {
        sc.src[i] = 0x00010203u * static_cast<uint32_t>(i + 1);
        sc.dst[i] = 0x00FFFFFFu - sc.src[i];
    }
    // Vertices -3..0: bottom-right, bottom-left, top-right, top-left.
    const int16_t W = static_cast<int16_t>(w - 1), H = static_cast<int16_t>(h - 1);
    sc.frameX = {W, 0, W, 0};
    sc.frameY = {H, H, 0, 0};
    sc.weights = {0, 0, 0, 0};
    sc.controlPoints = {0, 0};
    sc.triangles = {{{0, -1, -2}}, {{-1, -3, -2}}};
    sc.lastTriangle = 1;
    sc.flags = MORPH_USE_SOURCE;
    sc.background = 0x00ABCDEFu;
    sc.frameIndex = 0;
    sc.frameCount = 1;
    return sc;
}

TEST(DrawMorphCall, UnboundSettingsReturn42AndTouchNothing)
{
    RefScene sc = IdentityScene(4, 4);
    HostPicture src(4, 4), dst(4, 4), out(4, 4);
    out.SetWords(std::vector<uint32_t>(16, 0x5A5A5A5Au));
    const int16_t last = 1;
    const uint16_t flags = MORPH_USE_SOURCE;
    const int16_t block = 1;
    SetVars(nullptr, &last, &flags, &block);
    auto triangles = sc.triangles;
    EXPECT_EQ(DrawMorph(src.dc(), dst.dc(), out.dc(), src.bitmap(), dst.bitmap(), out.bitmap(), sc.frameX.data() + 3,
                        sc.frameY.data() + 3, sc.weights.data() + 3, sc.controlPoints.data(),
                        reinterpret_cast<MorphTriangle*>(triangles.data()), 4, 4, 4, 4, 4, 4, 0, 1),
              MORPH_NOT_BOUND);
    EXPECT_EQ(out.Words(), std::vector<uint32_t>(16, 0x5A5A5A5Au));
    EXPECT_EQ(std::memcmp(triangles.data(), sc.triangles.data(), 12), 0);
}

TEST(DrawMorphCall, SizesBelowOneAreRefusedBeforeAnything)
{
    RefScene sc = IdentityScene(4, 4);
    HostPicture src(4, 4), dst(4, 4), out(4, 4);
    out.SetWords(std::vector<uint32_t>(16, 0x5A5A5A5Au));
    SetVars(&sc.background, &sc.lastTriangle, &sc.flags, &sc.blockSize);
    const int32_t bad[] = {0, -4, 65535, 0x10000};
    for (int arg = 0; arg < 6; ++arg)
        for (int32_t value : bad) {
            int32_t sizes[6] = {4, 4, 4, 4, 4, 4};
            sizes[arg] = value;
            auto triangles = sc.triangles;
            EXPECT_EQ(DrawMorph(src.dc(), dst.dc(), out.dc(), src.bitmap(), dst.bitmap(), out.bitmap(),
                                sc.frameX.data() + 3, sc.frameY.data() + 3, sc.weights.data() + 3,
                                sc.controlPoints.data(), reinterpret_cast<MorphTriangle*>(triangles.data()), sizes[0],
                                sizes[1], sizes[2], sizes[3], sizes[4], sizes[5], 0, 1),
                      MORPH_BAD_SIZE)
                << "argument " << arg << " value " << value;
            EXPECT_EQ(std::memcmp(triangles.data(), sc.triangles.data(), 12), 0);
        }
    EXPECT_EQ(out.Words(), std::vector<uint32_t>(16, 0x5A5A5A5Au));
}

TEST(DrawMorphCall, UpperHalvesOfTheSizeSlotsAreIgnored)
{
    RefScene sc = IdentityScene(5, 3);
    std::vector<uint32_t> expected;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, expected), MORPH_OK);

    RefScene again = IdentityScene(5, 3);
    HostPicture src(5, 3), dst(5, 3), out(5, 3);
    src.SetWords(again.src);
    dst.SetWords(again.dst);
    SetVars(&again.background, &again.lastTriangle, &again.flags, &again.blockSize);
    EXPECT_EQ(DrawMorph(src.dc(), dst.dc(), out.dc(), src.bitmap(), dst.bitmap(), out.bitmap(),
                        again.frameX.data() + 3, again.frameY.data() + 3, again.weights.data() + 3,
                        again.controlPoints.data(), reinterpret_cast<MorphTriangle*>(again.triangles.data()),
                        0x7FFF0005, 0x00010003, 0xFFFF0005, 0x12340003, static_cast<int32_t>(0x80000005u),
                        0x00020003, 0x55550000, 0x00000001),
              MORPH_OK);
    EXPECT_EQ(out.Words(), expected);
}

TEST(DrawMorphFrame, IdentityMeshReproducesTheSourceUnderNearestSampling)
{
    RefScene sc = IdentityScene(9, 7);
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    EXPECT_EQ(out, sc.src);
    // Both triangles were written back in top, middle, bottom order.
    EXPECT_EQ(sc.triangles[0].v[0], 0);
    EXPECT_EQ(sc.triangles[0].v[1], -1);
    EXPECT_EQ(sc.triangles[0].v[2], -2);
    EXPECT_EQ(sc.triangles[1].v[0], -1);
    EXPECT_EQ(sc.triangles[1].v[1], -2);
    EXPECT_EQ(sc.triangles[1].v[2], -3);
}

TEST(DrawMorphFrame, HalfwayDissolveOfTwoFlatPictures)
{
    RefScene sc = IdentityScene(6, 6);
    sc.src.assign(36, 0x00FF0000u);
    sc.dst.assign(36, 0x000000FFu);
    sc.flags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    sc.frameIndex = 1;
    sc.frameCount = 2;
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    EXPECT_EQ(out, std::vector<uint32_t>(36, 0x007F007Fu));
}

TEST(DrawMorphFrame, NoPictureFlagsGiveTheConvertedBackgroundAndNoRewrite)
{
    RefScene sc = IdentityScene(4, 4);
    sc.flags = MORPH_BILINEAR | MORPH_KEY_COLOR;
    uint8_t bytes[4] = {0x11, 0x22, 0x33, 0x44};
    std::memcpy(&sc.background, bytes, 4);
    sc.triangles = {{{-2, -1, 0}}, {{-2, -3, -1}}};
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    EXPECT_EQ(out, std::vector<uint32_t>(16, 0x00112233u));
    EXPECT_EQ(sc.triangles[0].v[0], -2);
    EXPECT_EQ(sc.triangles[1].v[1], -3);
}

TEST(DrawMorphFrame, SkipCornersWithEveryTriangleOnACornerRendersNothing)
{
    RefScene sc = IdentityScene(4, 4);
    sc.flags = MORPH_USE_SOURCE | MORPH_SKIP_CORNERS;
    sc.triangles = {{{-2, -1, 0}}, {{-2, -3, -1}}};
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    EXPECT_EQ(out, std::vector<uint32_t>(16, 0x00EFCDABu));
    EXPECT_EQ(sc.triangles[0].v[0], -2);  // not set up, not rewritten
}

TEST(DrawMorphFrame, NegativeLastTriangleRendersTheFillOnly)
{
    RefScene sc = IdentityScene(4, 4);
    sc.lastTriangle = -1;
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    EXPECT_EQ(out, std::vector<uint32_t>(16, 0x00EFCDABu));
}

TEST(DrawMorphFrame, BlocksOfTwoRepeatTheAnchorSample)
{
    // 9 x 9 pictures over frame corners 0..8 (already on the grid of 2) in a
    // 10 x 10 output: every anchor is an even pixel of the identity map, and
    // its block covers it and its right, lower and lower-right neighbours.
    RefScene sc = IdentityScene(9, 9);
    sc.outW = sc.outH = 10;
    sc.blockSize = 2;
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const size_t anchor = static_cast<size_t>((y & ~1) * 9 + (x & ~1));
            EXPECT_EQ(out[static_cast<size_t>(y * 10 + x)], sc.src[anchor]) << x << "," << y;
        }
}

TEST(DrawMorphFrame, SettingsAreReadThroughTheHostsVariables)
{
    RefScene sc = IdentityScene(4, 4);
    HostPicture src(4, 4), dst(4, 4), out(4, 4);
    src.SetWords(sc.src);
    dst.SetWords(sc.dst);
    uint32_t background = 0x00000000u;
    int16_t last = 1;
    uint16_t flags = MORPH_USE_SOURCE;
    int16_t block = 1;
    SetVars(&background, &last, &flags, &block);
    auto draw = [&] {
        return DrawMorph(src.dc(), dst.dc(), out.dc(), src.bitmap(), dst.bitmap(), out.bitmap(), sc.frameX.data() + 3,
                         sc.frameY.data() + 3, sc.weights.data() + 3, sc.controlPoints.data(),
                         reinterpret_cast<MorphTriangle*>(sc.triangles.data()), 4, 4, 4, 4, 4, 4, 0, 1);
    };
    ASSERT_EQ(draw(), MORPH_OK);
    EXPECT_EQ(out.Words(), sc.src);
    flags = 0;  // no picture: fill only
    background = 0x000000FFu;
    ASSERT_EQ(draw(), MORPH_OK);
    EXPECT_EQ(out.Words(), std::vector<uint32_t>(16, 0x00FF0000u));
}

TEST(DrawMorphFrame, PicturesTheHostCannotFillReadAsBlackNotAsOlderFrames)
{
    RefScene sc = IdentityScene(4, 4);
    std::vector<uint32_t> out;
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);  // leaves the picture in the working buffers
    ASSERT_EQ(out, sc.src);

    // A source bitmap of 2 x 2 where the call says 4 x 4: only its pixels are real.
    HostPicture small(2, 2), dst(4, 4), outPic(4, 4);
    small.SetWords({sc.src[0], sc.src[1], sc.src[4], sc.src[5]});
    SetVars(&sc.background, &sc.lastTriangle, &sc.flags, &sc.blockSize);
    auto draw = [&](HostBitmap* srcBitmap) {
        return DrawMorph(small.dc(), dst.dc(), outPic.dc(), srcBitmap, dst.bitmap(), outPic.bitmap(),
                         sc.frameX.data() + 3, sc.frameY.data() + 3, sc.weights.data() + 3, sc.controlPoints.data(),
                         reinterpret_cast<MorphTriangle*>(sc.triangles.data()), 4, 4, 4, 4, 4, 4, 0, 1);
    };
    ASSERT_EQ(draw(small.bitmap()), MORPH_OK);
    std::vector<uint32_t> expected(16, 0);
    expected[0] = sc.src[0];
    expected[1] = sc.src[1];
    expected[4] = sc.src[4];
    expected[5] = sc.src[5];
    EXPECT_EQ(outPic.Words(), expected);

    // No bitmap at all: the read fails and the picture is black.
    ASSERT_EQ(qv::test::RenderThroughLibrary(sc, out), MORPH_OK);
    ASSERT_EQ(draw(nullptr), MORPH_OK);
    EXPECT_EQ(outPic.Words(), std::vector<uint32_t>(16, 0));
}

TEST(DrawMorphFrame, RandomScenesMatchTheReferenceWordForWord)
{
    std::mt19937 rng(20261207);
    for (int n = 0; n < 3000; ++n) {
        RefScene scene = qv::test::RandomScene(rng);
        RefScene expectedScene = scene;
        const std::vector<uint32_t> expected = qv::test::ReferenceRender(expectedScene);
        std::vector<uint32_t> out;
        ASSERT_EQ(qv::test::RenderThroughLibrary(scene, out), MORPH_OK) << "scene " << n;
        ASSERT_EQ(out, expected) << "scene " << n << " flags " << scene.flags << " block " << scene.blockSize;
        for (size_t t = 0; t < scene.triangles.size(); ++t)
            ASSERT_EQ(std::memcmp(scene.triangles[t].v, expectedScene.triangles[t].v, 6), 0) << "scene " << n;
    }
}

}  // namespace

namespace {

// 32-bit host bitmaps exactly as wide as the call's pictures are sampled and
// rendered where they lie; wider ones are copied. Both must give the frame
// of the reference, and rows or columns outside the call's sizes stay as the
// host left them.
TEST(DrawMorphFrame, BitmapsUsedInPlaceOrCopiedGiveTheSameFrame)
{
    std::mt19937 rng(20261208);
    const uint32_t pad = 0x5A5A5A5Au;
    for (int n = 0; n < 600; ++n) {
        const RefScene scene = qv::test::RandomScene(rng);
        RefScene expectedScene = scene;
        const std::vector<uint32_t> expected = qv::test::ReferenceRender(expectedScene);
        const int32_t layouts[3][2] = {{0, 3}, {1, 0}, {2, 2}};  // in place, copied, copied
        for (const auto& layout : layouts) {
            RefScene sc = scene;
            std::vector<uint32_t> out;
            ASSERT_EQ(qv::test::RenderOnLargerBitmaps(sc, layout[0], layout[1], out), MORPH_OK);
            ASSERT_EQ(out, qv::test::Padded(expected, sc.outW, sc.outH, layout[0], layout[1], pad))
                << "scene " << n << " extra columns " << layout[0] << " rows " << layout[1];
            for (size_t t = 0; t < sc.triangles.size(); ++t)
                ASSERT_EQ(std::memcmp(sc.triangles[t].v, expectedScene.triangles[t].v, 6), 0) << "scene " << n;
        }
    }
}

// A host may render into one of its pictures: the picture is read as it was
// before the call, although the output fill and blocks go to the same bitmap.
TEST(DrawMorphFrame, AnOutputBitmapThatIsAlsoAPictureIsReadAsItWasBeforeTheCall)
{
    std::mt19937 rng(8);
    for (int n = 0; n < 300; ++n) {
        RefScene sc = qv::test::RandomScene(rng);
        const bool intoSource = n % 2 == 0;
        // The picture that doubles as the output takes the output's size.
        int16_t& w = intoSource ? sc.srcW : sc.dstW;
        int16_t& h = intoSource ? sc.srcH : sc.dstH;
        std::vector<uint32_t>& words = intoSource ? sc.src : sc.dst;
        w = sc.outW;
        h = sc.outH;
        words.resize(static_cast<size_t>(w * h));
        for (auto& p : words) p = static_cast<uint32_t>(rng());
        RefScene expectedScene = sc;
        const std::vector<uint32_t> expected = qv::test::ReferenceRender(expectedScene);

        HostPicture src(sc.srcW, sc.srcH), dst(sc.dstW, sc.dstH);
        src.SetWords(sc.src);
        dst.SetWords(sc.dst);
        HostPicture& shared = intoSource ? src : dst;
        SetVars(&sc.background, &sc.lastTriangle, &sc.flags, &sc.blockSize);
        ASSERT_EQ(DrawMorph(src.dc(), dst.dc(), shared.dc(), src.bitmap(), dst.bitmap(), shared.bitmap(),
                            sc.frameX.data() + 3, sc.frameY.data() + 3, sc.weights.data() + 3, sc.controlPoints.data(),
                            reinterpret_cast<MorphTriangle*>(sc.triangles.data()), sc.srcW, sc.srcH, sc.dstW, sc.dstH,
                            sc.outW, sc.outH, sc.frameIndex, sc.frameCount),
                  MORPH_OK);
        ASSERT_EQ(shared.Words(), expected) << "scene " << n << (intoSource ? " into the source" : " into the destination");
    }
}

}  // namespace

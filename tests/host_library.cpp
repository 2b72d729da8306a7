// The shared library as an outside host sees it: only the public headers and
// libquorvane.so. Checks that the exports resolve and behave through the
// dynamic boundary.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

namespace {

TEST(SharedLibrary, ExportsEveryFunctionByItsPlainName)
{
    void* self = dlopen("libquorvane.so.0", RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(self, nullptr) << dlerror();
    const char* names[] = {"SetVars", "DrawMorph", "RenderCompressedStart", "RenderCompressed",
                           "RenderCompressedEnd", "GetAVIinfo", "GetAVIframe", "SaveToFreeImage",
                           "RenderAnimatedGIFStart", "RenderAnimatedGIF", "RenderAnimatedGIFEnd",
                           "CreateHostBitmap", "DeleteHostBitmap", "GetHostBitmapBits", "GetHostBitmapStride",
                           "GetHostBitmapWidth", "GetHostBitmapHeight", "GetHostBitmapDepth",
                           "GetHostBitmapPalette", "CreateHostDC", "SelectHostBitmap", "GetHostStretchMode",
                           "DeleteHostDC", "CreateHostWindow", "DeleteHostWindow"};
    for (const char* name : names) EXPECT_NE(dlsym(self, name), nullptr) << name;
    // Internals stay hidden.
    EXPECT_EQ(dlsym(self, "_ZN2qv5morph13DrawMorphFrameERKNS0_11DrawRequestE"), nullptr);
    dlclose(self);
}

TEST(SharedLibrary, RendersACrossDissolveIntoAHostBitmap)
{
    HostBitmap* bitmaps[3] = {CreateHostBitmap(3, 3, 32), CreateHostBitmap(3, 3, 32), CreateHostBitmap(3, 3, 24)};
    HostDC* dcs[3] = {CreateHostDC(bitmaps[0]), CreateHostDC(bitmaps[1]), CreateHostDC(bitmaps[2])};
    for (int i = 0; i < 2; ++i) {
        uint8_t* bits = GetHostBitmapBits(bitmaps[i]);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x) {
                const uint32_t word = i == 0 ? 0x00C86432u : 0x00000000u;
                std::memcpy(bits + y * GetHostBitmapStride(bitmaps[i]) + x * 4, &word, 4);
            }
    }
    int16_t frameX[4] = {2, 0, 2, 0}, frameY[4] = {2, 2, 0, 0};
    float weights[4] = {};
    int16_t controlPoints[2] = {};
    MorphTriangle triangles[2] = {{{0, -1, -2}}, {{-1, -3, -2}}};
    uint32_t background = 0;
    int16_t last = 1, block = 1;
    uint16_t flags = MORPH_USE_SOURCE | MORPH_USE_DEST;
    SetVars(&background, &last, &flags, &block);
    ASSERT_EQ(DrawMorph(dcs[0], dcs[1], dcs[2], bitmaps[0], bitmaps[1], bitmaps[2], frameX + 3, frameY + 3,
                        weights + 3, controlPoints, triangles, 3, 3, 3, 3, 3, 3, 1, 4),
              MORPH_OK);
    // A quarter of the way to black: 0xC8, 0x64, 0x32 times 0.75, truncated.
    const uint8_t* out = GetHostBitmapBits(bitmaps[2]);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) {
            const uint8_t* px = out + y * GetHostBitmapStride(bitmaps[2]) + x * 3;
            EXPECT_EQ(px[0], 0x25);
            EXPECT_EQ(px[1], 0x4B);
            EXPECT_EQ(px[2], 0x96);
        }
    for (int i = 0; i < 3; ++i) {
        DeleteHostDC(dcs[i]);
        DeleteHostBitmap(bitmaps[i]);
    }
}

}  // namespace

/* A small C host: builds two pictures, a mesh of the four corners and one
 * control point, and renders a 24-frame morph into an animated GIF.
 *   render_sample [output.gif]
 */
#include <stdio.h>
#include <string.h>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

enum { W = 160, H = 120, FRAMES = 24 };

static void Paint(HostBitmap* bitmap, int variant)
{
    uint8_t* bits = GetHostBitmapBits(bitmap);
    int32_t stride = GetHostBitmapStride(bitmap);
    for (int y = 0; y < H; ++y) {
        uint32_t* row = (uint32_t*)(bits + y * stride);
        for (int x = 0; x < W; ++x) {
            int dx = x - (variant ? 100 : 60), dy = y - (variant ? 70 : 50);
            int inside = dx * dx + dy * dy < (variant ? 900 : 1600);
            uint32_t r = (uint32_t)(variant ? 40 + x : 255 - y), g = (uint32_t)(variant ? 200 - y : 80 + x / 2);
            uint32_t b = (uint32_t)(variant ? 230 : 60);
            row[x] = inside ? (variant ? 0x00FFD040u : 0x002060FFu) : (r << 16 | g << 8 | b);
        }
    }
}

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "quorvane-sample.gif";
    HostBitmap* pictures[3] = {CreateHostBitmap(W, H, 32), CreateHostBitmap(W, H, 32), CreateHostBitmap(W, H, 32)};
    HostDC* dcs[3] = {CreateHostDC(pictures[0]), CreateHostDC(pictures[1]), CreateHostDC(pictures[2])};
    Paint(pictures[0], 0);
    Paint(pictures[1], 1);

    /* Vertices -3..1: the four corners, then the control point at the circle's centre. */
    int16_t frameX[5], frameY[5];
    float weights[5] = {0, 0, 0, 0, 0};
    const int16_t cornerX[4] = {W - 1, 0, W - 1, 0}, cornerY[4] = {H - 1, H - 1, 0, 0};
    /* Control point 1: source (y 50, x 60), destination (y 70, x 100), stored minus 2. */
    const int16_t controlPoints[6] = {0, 0, 48, 58, 68, 98};
    MorphTriangle triangles[4] = {{{0, -1, 1}}, {{-1, -3, 1}}, {{-3, -2, 1}}, {{-2, 0, 1}}};
    uint32_t background = 0;
    int16_t lastTriangle = 3, blockSize = 1;
    uint16_t flags = MORPH_USE_SOURCE | MORPH_USE_DEST | MORPH_BILINEAR;
    SetVars(&background, &lastTriangle, &flags, &blockSize);

    GifWriter* gif = NULL;
    int32_t started = RenderAnimatedGIFStart(path, W, H, 32, 1200, 0, &gif);
    int failed = started != 0;
    for (int f = 0; f < FRAMES && !failed; ++f) {
        float t = (float)f / (FRAMES - 1);
        for (int v = 0; v < 4; ++v) {
            frameX[v] = cornerX[v];
            frameY[v] = cornerY[v];
        }
        frameX[4] = (int16_t)(60 + t * 40);
        frameY[4] = (int16_t)(50 + t * 20);
        int32_t drawn = DrawMorph(dcs[0], dcs[1], dcs[2], pictures[0], pictures[1], pictures[2], frameX + 3,
                                  frameY + 3, weights + 3, controlPoints, triangles, W, H, W, H, W, H, f, FRAMES - 1);
        failed = drawn != 0 || RenderAnimatedGIF(dcs[2], pictures[2], 1, gif) != 0;
    }
    if (started != 1) RenderAnimatedGIFEnd(gif);
    for (int i = 0; i < 3; ++i) {
        DeleteHostDC(dcs[i]);
        DeleteHostBitmap(pictures[i]);
    }
    if (failed) {
        fprintf(stderr, "render_sample: could not write %s\n", path);
        return 1;
    }
    printf("wrote %d frames to %s\n", FRAMES, path);
    return 0;
}

/* A second Windows host, written the way a small interactive C program
 * would use the library: it finds SetVars and DrawMorph with GetProcAddress,
 * binds its own settings variables once, and then changes them between
 * frames as a user would (a coarse block size while a control point is being
 * dragged and full detail once it is let go, the key colour switched on and
 * off). It renders into a device-dependent bitmap made by
 * CreateCompatibleBitmap as well as into DIB sections, and keeps the frames
 * in an animated GIF, as a host that ships FreeImage.dll beside its .exe
 * does (it sets no DLL directory).
 *
 *   interactive_host DLL DIRECTORY
 *
 * For every frame it records what it handed to DrawMorph (the pictures as
 * GDI holds them, the mesh and the settings at the time of the call) in
 * DIRECTORY\interactive-scenes.bin, and what came back in
 * DIRECTORY\interactive-rendered.bin (the layouts of
 * tests/support/scene_file.h), so that the portable build can render the
 * same frames and compare; the GIF goes to DIRECTORY\interactive.gif.
 * DIRECTORY\interactive.txt says what it did. */
#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

typedef void(__stdcall* SetVarsFn)(const uint32_t*, const int16_t*, const uint16_t*, const int16_t*);
typedef int32_t(__stdcall* DrawMorphFn)(HDC, HDC, HDC, HBITMAP, HBITMAP, HBITMAP, const int16_t*, const int16_t*,
                                        const float*, const int16_t*, int16_t*, int32_t, int32_t, int32_t, int32_t,
                                        int32_t, int32_t, int32_t, int32_t);
typedef int32_t(__stdcall* GifStartFn)(const char*, int32_t, int32_t, int32_t, int32_t, int32_t, void**);
typedef int32_t(__stdcall* GifFrameFn)(HDC, HBITMAP, int32_t, void*);
typedef void(__stdcall* GifEndFn)(void*);

#define SRC_W 48
#define SRC_H 36
#define DST_W 40
#define DST_H 30
#define OUT_W 56
#define OUT_H 42
#define POINTS 3
#define VERTICES (POINTS + 4)
#define TRIANGLES 8
#define FRAMES 14

#define USE_SOURCE 0x0100
#define USE_DEST 0x0200
#define BILINEAR 0x1000
#define KEY_COLOR 0x2000
#define KEY_FADE 0x4000
#define WEIGHT_SMOOTH 0x0002

#define KEY 0x0000FF00u /* a pure green the source picture is painted with in places */

/* The settings the library reads through its pointers on every frame. */
static uint32_t backgroundColor = 0x00203040u;
static int16_t lastTriangle = TRIANGLES - 1;
static uint16_t renderFlags = USE_SOURCE | USE_DEST;
static int16_t blockSize = 1;

/* The mesh: vertex arrays from vertex -3, control points as (y, x) pairs. */
static int16_t frameX[VERTICES], frameY[VERTICES];
static float weights[VERTICES];
static int16_t controlPoints[4 * POINTS + 2];
static int16_t triangles[TRIANGLES * 3] = {0, 1, -1, 0, 2, 1, -1, 1, 3,  1, 2, 3,
                                           -1, 3, -3, 0, -2, 2, 2, -2, 3, 3, -2, -3};

/* A picture: a bitmap selected into a memory device context. */
typedef struct {
    HBITMAP bitmap;
    HDC dc;
    int width, height;
    const char* kind;
} Picture;

static int MakeDibSection(Picture* picture, int width, int height, int depth)
{
    BITMAPINFO info;
    void* bits = NULL;
    memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; /* bottom-up, as most programs make them */
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = (WORD)depth;
    info.bmiHeader.biCompression = BI_RGB;
    picture->bitmap = CreateDIBSection(NULL, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    picture->dc = CreateCompatibleDC(NULL);
    picture->width = width;
    picture->height = height;
    picture->kind = depth == 24 ? "dib24" : "dib32";
    if (picture->bitmap == NULL || picture->dc == NULL) return 0;
    SelectObject(picture->dc, picture->bitmap);
    return 1;
}

static int MakeScreenBitmap(Picture* picture, int width, int height)
{
    HDC screen = GetDC(NULL);
    picture->bitmap = CreateCompatibleBitmap(screen, width, height);
    picture->dc = CreateCompatibleDC(screen);
    ReleaseDC(NULL, screen);
    picture->width = width;
    picture->height = height;
    picture->kind = "ddb";
    if (picture->bitmap == NULL || picture->dc == NULL) return 0;
    SelectObject(picture->dc, picture->bitmap);
    return 1;
}

static void FreePicture(Picture* picture)
{
    if (picture->dc != NULL) DeleteDC(picture->dc);
    if (picture->bitmap != NULL) DeleteObject(picture->bitmap);
}

static void TopDownInfo(BITMAPINFO* info, int width, int height)
{
    memset(info, 0, sizeof(*info));
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = width;
    info->bmiHeader.biHeight = -height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 32;
    info->bmiHeader.biCompression = BI_RGB;
}

/* The picture's pixels as 0x00RRGGBB words, top row first, as GDI holds them. */
static void ReadWords(const Picture* picture, uint32_t* words)
{
    BITMAPINFO info;
    TopDownInfo(&info, picture->width, picture->height);
    GdiFlush();
    GetDIBits(picture->dc, picture->bitmap, 0, (UINT)picture->height, words, &info, DIB_RGB_COLORS);
}

static void WriteWords(const Picture* picture, const uint32_t* words)
{
    BITMAPINFO info;
    TopDownInfo(&info, picture->width, picture->height);
    SetDIBits(picture->dc, picture->bitmap, 0, (UINT)picture->height, words, &info, DIB_RGB_COLORS);
    GdiFlush();
}

/* Two photographs stand-ins: smooth gradients with a few patches of the key
 * colour in the source. */
static void PaintPictures(const Picture* source, const Picture* destination)
{
    static uint32_t words[SRC_W * SRC_H];
    int x, y;
    for (y = 0; y < SRC_H; ++y)
        for (x = 0; x < SRC_W; ++x) {
            uint32_t word = (uint32_t)(x * 5) << 16 | (uint32_t)(y * 7) << 8 | (uint32_t)((x * y) & 0xFF);
            if ((x / 8 + y / 6) % 4 == 0) word = KEY;
            words[y * SRC_W + x] = word;
        }
    WriteWords(source, words);
    for (y = 0; y < DST_H; ++y)
        for (x = 0; x < DST_W; ++x)
            words[y * DST_W + x] = (uint32_t)(255 - x * 6) << 16 | (uint32_t)(x * y % 251) << 8 | (uint32_t)(y * 8);
    WriteWords(destination, words);
}

/* Vertex v of the arrays, v from -3. */
#define AT(array, v) ((array)[(v) + 3])

static void PlaceMesh(void)
{
    int k, v;
    /* Corners of the output. */
    AT(frameX, 0) = 0, AT(frameY, 0) = 0;
    AT(frameX, -1) = OUT_W - 1, AT(frameY, -1) = 0;
    AT(frameX, -2) = 0, AT(frameY, -2) = OUT_H - 1;
    AT(frameX, -3) = OUT_W - 1, AT(frameY, -3) = OUT_H - 1;
    for (k = 1; k <= POINTS; ++k) {
        controlPoints[4 * k - 2] = (int16_t)(6 + 9 * k); /* source y */
        controlPoints[4 * k - 1] = (int16_t)(8 + 11 * k); /* source x */
        controlPoints[4 * k] = (int16_t)(4 + 7 * k);       /* destination y */
        controlPoints[4 * k + 1] = (int16_t)(30 - 6 * k);  /* destination x */
        AT(frameX, k) = (int16_t)(10 + 12 * k);
        AT(frameY, k) = (int16_t)(8 + 9 * k);
    }
    for (v = -3; v <= POINTS; ++v) AT(weights, v) = 0.25f + 0.125f * (float)(v + 3);
}

static int PutBytes(FILE* file, const void* data, size_t bytes) { return fwrite(data, 1, bytes, file) == bytes; }

static int PutCounted(FILE* file, const void* data, uint32_t count, size_t itemBytes)
{
    return PutBytes(file, &count, 4) && PutBytes(file, data, count * itemBytes);
}

/* One scene record: what DrawMorph is about to be handed. */
static int PutScene(FILE* file, int16_t frameIndex, int16_t frameCount, const uint32_t* src, const uint32_t* dst)
{
    const int16_t sizes[10] = {SRC_W, SRC_H, DST_W, DST_H, OUT_W, OUT_H, frameIndex, frameCount, lastTriangle,
                               blockSize};
    return PutBytes(file, sizes, sizeof(sizes)) && PutBytes(file, &renderFlags, 2) &&
           PutBytes(file, &backgroundColor, 4) && PutCounted(file, frameX, VERTICES, 2) &&
           PutCounted(file, frameY, VERTICES, 2) && PutCounted(file, weights, VERTICES, 4) &&
           PutCounted(file, controlPoints, 4 * POINTS + 2, 2) && PutCounted(file, triangles, TRIANGLES, 6) &&
           PutCounted(file, src, SRC_W * SRC_H, 4) && PutCounted(file, dst, DST_W * DST_H, 4);
}

static int PutRendered(FILE* file, int32_t result, const uint32_t* words)
{
    const uint32_t bytesRemoved = 76; /* not measured here; the first host does that */
    return PutBytes(file, &result, 4) && PutBytes(file, &bytesRemoved, 4) &&
           PutCounted(file, triangles, TRIANGLES, 6) && PutCounted(file, words, OUT_W * OUT_H, 4);
}

/* What the user does before frame n: drags control point 2 for six frames
 * (coarse preview), lets go, then tries the key colour. */
static void UserActs(int n)
{
    if (n < 6) {
        blockSize = 8;
        renderFlags = USE_SOURCE | USE_DEST;
        AT(frameX, 2) = (int16_t)(20 + 4 * n);
        AT(frameY, 2) = (int16_t)(14 + 2 * n);
    } else if (n == 6) {
        blockSize = 1;
        renderFlags = USE_SOURCE | USE_DEST | BILINEAR | WEIGHT_SMOOTH;
    } else if (n == 7 || n == 8) {
        renderFlags = USE_SOURCE | USE_DEST | BILINEAR | KEY_COLOR;
        backgroundColor = KEY;
    } else if (n == 9) {
        renderFlags = USE_SOURCE | USE_DEST | BILINEAR;
        backgroundColor = 0x00203040u;
    } else if (n == 10) {
        renderFlags = USE_SOURCE | USE_DEST | KEY_COLOR | KEY_FADE;
        backgroundColor = KEY;
    } else if (n == 11) {
        renderFlags = USE_SOURCE | USE_DEST | BILINEAR;
        blockSize = 8; /* grabbed again */
        AT(frameX, 1) = 18;
    } else if (n == 12) {
        blockSize = 0; /* below 1 means 1 */
        lastTriangle = 4; /* the user hid the last triangles */
    } else {
        lastTriangle = TRIANGLES - 1;
        blockSize = 1;
    }
}

int main(int argc, char** argv)
{
    HMODULE library;
    SetVarsFn setVars;
    DrawMorphFn drawMorph;
    GifStartFn gifStart;
    GifFrameFn gifFrame;
    GifEndFn gifEnd;
    void* gif = NULL;
    Picture source = {0}, destination = {0}, screenOut = {0}, dibOut = {0};
    static uint32_t srcWords[SRC_W * SRC_H], dstWords[DST_W * DST_H], outWords[OUT_W * OUT_H];
    char path[MAX_PATH];
    FILE *scenes, *rendered, *report;
    uint32_t count = FRAMES, magic;
    int n, ok = 1;
    BITMAP screenInfo;

    if (argc != 3) {
        fprintf(stderr, "usage: interactive_host DLL DIRECTORY\n");
        return 2;
    }
    library = LoadLibraryA(argv[1]);
    if (library == NULL) return 3;
    setVars = (SetVarsFn)(void (*)(void))GetProcAddress(library, "_SetVars@16");
    drawMorph = (DrawMorphFn)(void (*)(void))GetProcAddress(library, "_DrawMorph@76");
    gifStart = (GifStartFn)(void (*)(void))GetProcAddress(library, "_RenderAnimatedGIFStart@28");
    gifFrame = (GifFrameFn)(void (*)(void))GetProcAddress(library, "_RenderAnimatedGIF@16");
    gifEnd = (GifEndFn)(void (*)(void))GetProcAddress(library, "_RenderAnimatedGIFEnd@4");
    if (setVars == NULL || drawMorph == NULL || gifStart == NULL || gifFrame == NULL || gifEnd == NULL) return 4;

    if (!MakeDibSection(&source, SRC_W, SRC_H, 24) || !MakeScreenBitmap(&destination, DST_W, DST_H) ||
        !MakeScreenBitmap(&screenOut, OUT_W, OUT_H) || !MakeDibSection(&dibOut, OUT_W, OUT_H, 32))
        return 5;
    PaintPictures(&source, &destination);
    ReadWords(&source, srcWords);
    ReadWords(&destination, dstWords);
    PlaceMesh();

    snprintf(path, sizeof(path), "%s\\interactive-scenes.bin", argv[2]);
    scenes = fopen(path, "wb");
    snprintf(path, sizeof(path), "%s\\interactive-rendered.bin", argv[2]);
    rendered = fopen(path, "wb");
    snprintf(path, sizeof(path), "%s\\interactive.txt", argv[2]);
    report = fopen(path, "w");
    if (scenes == NULL || rendered == NULL || report == NULL) return 6;
    magic = 0x43535651u; /* "QVSC" */
    ok = PutBytes(scenes, &magic, 4) && PutBytes(scenes, &count, 4);
    magic = 0x52535651u; /* "QVSR" */
    ok = ok && PutBytes(rendered, &magic, 4) && PutBytes(rendered, &count, 4);

    GetObjectA(screenOut.bitmap, sizeof(screenInfo), &screenInfo);
    fprintf(report, "ddb-bits=%d\n", screenInfo.bmBitsPixel);

    snprintf(path, sizeof(path), "%s\\interactive.gif", argv[2]);
    fprintf(report, "gif-start=%d\n", gifStart(path, OUT_W, OUT_H, 32, 1000, 0, &gif));

    setVars(&backgroundColor, &lastTriangle, &renderFlags, &blockSize);
    for (n = 0; n < FRAMES && ok; ++n) {
        /* Odd frames go to the screen-compatible bitmap, even ones to the DIB section. */
        const Picture* out = n % 2 == 1 ? &screenOut : &dibOut;
        int32_t result;
        UserActs(n);
        ok = PutScene(scenes, (int16_t)n, FRAMES - 1, srcWords, dstWords);
        result = drawMorph(source.dc, destination.dc, out->dc, source.bitmap, destination.bitmap, out->bitmap, &AT(frameX, 0),
                           &AT(frameY, 0), &AT(weights, 0), controlPoints, triangles, SRC_W, SRC_H, DST_W, DST_H,
                           OUT_W, OUT_H, n, FRAMES - 1);
        ReadWords(out, outWords);
        ok = ok && PutRendered(rendered, result, outWords);
        fprintf(report, "frame%d=%s block=%d flags=%04x result=%d gif%d=%d\n", n, out->kind, blockSize, renderFlags,
                result, n, gifFrame(out->dc, out->bitmap, 1, gif));
    }
    gifEnd(gif);
    fprintf(report, "done=%d\n", ok);
    ok = (fclose(scenes) == 0) & ok;
    ok = (fclose(rendered) == 0) & ok;
    fclose(report);
    FreePicture(&source);
    FreePicture(&destination);
    FreePicture(&screenOut);
    FreePicture(&dibOut);
    FreeLibrary(library);
    return ok ? 0 : 1;
}

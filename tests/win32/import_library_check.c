/* Links against Quorvane.dll.a as a C host that includes the public header
 * would: the build fails if the import library does not resolve every
 * decorated C name to its export. Not run. */
#include <quorvane/quorvane.h>

int main(void)
{
    const void* exports[] = {
        (const void*)SetVars,          (const void*)DrawMorph,          (const void*)RenderCompressedStart,
        (const void*)RenderCompressed, (const void*)RenderCompressedEnd, (const void*)GetAVIinfo,
        (const void*)GetAVIframe,      (const void*)SaveToFreeImage,    (const void*)RenderAnimatedGIFStart,
        (const void*)RenderAnimatedGIF, (const void*)RenderAnimatedGIFEnd};
    int bound = 0;
    for (unsigned i = 0; i < sizeof(exports) / sizeof(exports[0]); ++i) bound += exports[i] != 0;
    return bound == 11 ? 0 : 1;
}

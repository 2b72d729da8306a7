// Renders each scene of a scene file through DIB sections and memory device
// contexts, passing DrawMorph's nineteen slots by hand. The 16-bit arguments
// carry junk in their upper halves, which the library must ignore.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "call_with_slots.h"
#include "commands.h"
#include "dib_canvas.h"
#include "library_binding.h"
#include "support/scene_file.h"

namespace {

uint32_t Slot(const void* pointer) { return uint32_t(uintptr_t(pointer)); }
uint32_t Slot16(int16_t value) { return 0xA5C30000u | uint16_t(value); }

qv::test::RenderedScene Render(const Library& library, qv::test::RefScene& s)
{
    qv::test::RenderedScene rendered;
    DibCanvas src(s.srcW, s.srcH), dst(s.dstW, s.dstH), out(s.outW, s.outH);
    if (!src.ok() || !dst.ok() || !out.ok()) {
        rendered.result = -1;
        return rendered;
    }
    src.SetWords(s.src);
    dst.SetWords(s.dst);
    out.Fill(0xFEEDFACEu);

    const uint32_t settings[4] = {Slot(&s.background), Slot(&s.lastTriangle), Slot(&s.flags), Slot(&s.blockSize)};
    CallWithSlots(library.Address(Export::SetVars), settings, 4);
    const uint32_t slots[19] = {
        Slot(src.dc()), Slot(dst.dc()), Slot(out.dc()),
        Slot(src.bitmap()), Slot(dst.bitmap()), Slot(out.bitmap()),
        Slot(s.frameX.data() + 3), Slot(s.frameY.data() + 3), Slot(s.weights.data() + 3),
        Slot(s.controlPoints.data()), Slot(s.triangles.data()),
        Slot16(s.srcW), Slot16(s.srcH), Slot16(s.dstW), Slot16(s.dstH), Slot16(s.outW), Slot16(s.outH),
        Slot16(s.frameIndex), Slot16(s.frameCount)};
    const SlotCall call = CallWithSlots(library.Address(Export::DrawMorph), slots, 19);
    rendered.result = int32_t(call.result);
    rendered.argumentBytesRemoved = call.bytesRemoved;
    rendered.triangles = s.triangles;
    rendered.words = out.Words();
    return rendered;
}

}  // namespace

int RunMorph(const char* dll, const char* scenesPath, const char* renderedPath)
{
    Library library(dll);
    if (!library.AllBound()) {
        std::fprintf(stderr, "cannot bind %s\n", dll);
        return 1;
    }
    std::vector<qv::test::RefScene> scenes;
    if (!qv::test::ReadScenes(scenesPath, scenes)) {
        std::fprintf(stderr, "cannot read %s\n", scenesPath);
        return 1;
    }
    std::vector<qv::test::RenderedScene> rendered;
    for (qv::test::RefScene& scene : scenes) rendered.push_back(Render(library, scene));
    if (!qv::test::WriteRendered(renderedPath, rendered)) {
        std::fprintf(stderr, "cannot write %s\n", renderedPath);
        return 1;
    }
    std::printf("rendered=%u\n", unsigned(rendered.size()));
    return 0;
}

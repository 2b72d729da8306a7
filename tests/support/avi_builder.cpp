#include "support/avi_builder.h"

#include <algorithm>
#include <cstring>

namespace qv::test {

namespace {
void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void PutId(std::vector<uint8_t>& out, const std::string& id) { out.insert(out.end(), id.begin(), id.begin() + 4); }
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out[at + size_t(i)] = uint8_t(v >> (8 * i));
}
void PutChunk(std::vector<uint8_t>& out, const std::string& id, const std::vector<uint8_t>& body)
{
    PutId(out, id);
    Put32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
}
}  // namespace

std::vector<uint8_t> DibFormat(int32_t width, int32_t height, uint16_t bitCount, uint32_t compression,
                               const std::vector<uint32_t>& palette, uint32_t clrUsed)
{
    std::vector<uint8_t> f;
    Put32(f, 40);
    Put32(f, uint32_t(width));
    Put32(f, uint32_t(height));
    Put16(f, 1);
    Put16(f, bitCount);
    Put32(f, compression);
    const uint32_t stride = ((uint32_t(width) * bitCount + 31) / 32) * 4;
    Put32(f, stride * uint32_t(height < 0 ? -height : height));
    Put32(f, 0);
    Put32(f, 0);
    Put32(f, clrUsed);
    Put32(f, 0);
    for (uint32_t colour : palette) Put32(f, colour);
    return f;
}

std::vector<uint8_t> EncodeRle8(const std::vector<uint8_t>& rows, int32_t width, int32_t height,
                                int32_t stride)
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = rows.data() + size_t(y) * size_t(stride);
        for (int32_t x = 0; x < width;) {
            int32_t run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
            out.push_back(uint8_t(run));
            out.push_back(row[x]);
            x += run;
        }
        out.push_back(0);
        out.push_back(y + 1 < height ? 0 : 1);
    }
    return out;
}

std::vector<uint8_t> BuildAvi(const AviBuildSpec& spec)
{
    const uint32_t frames = uint32_t(spec.frames.size());
    uint32_t largest = 0;
    for (const AviBuildFrame& f : spec.frames) largest = std::max(largest, uint32_t(f.data.size()));
    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    Put32(out, 0);
    PutId(out, "AVI ");

    std::vector<uint8_t> strl;
    PutId(strl, "strl");
    std::vector<uint8_t> strh;
    PutId(strh, "vids");
    Put32(strh, spec.fccHandler);
    Put32(strh, 0);
    Put32(strh, 0);
    Put32(strh, 0);
    Put32(strh, spec.scale);
    Put32(strh, spec.rate);
    Put32(strh, spec.start);
    Put32(strh, spec.length < 0 ? frames : uint32_t(spec.length));
    Put32(strh, largest);
    Put32(strh, 0xFFFFFFFFu);
    Put32(strh, 0);
    for (int16_t v : spec.rect) Put16(strh, uint16_t(v));
    PutChunk(strl, "strh", strh);
    PutChunk(strl, "strf", spec.format);
    if (!spec.streamName.empty()) {
        std::vector<uint8_t> name(spec.streamName.begin(), spec.streamName.end());
        name.push_back(0);
        PutChunk(strl, "strn", name);
    }

    std::vector<uint8_t> hdrl;
    PutId(hdrl, "hdrl");
    std::vector<uint8_t> avih;
    Put32(avih, spec.rate != 0 ? uint32_t(uint64_t(spec.scale) * 1000000u / spec.rate) : 0);
    Put32(avih, 0);
    Put32(avih, 0);
    Put32(avih, spec.avihFlags);
    Put32(avih, frames);
    Put32(avih, 0);
    Put32(avih, 1);
    Put32(avih, largest);
    int32_t width = 0, height = 0;
    if (spec.format.size() >= 12) {
        std::memcpy(&width, &spec.format[4], 4);
        std::memcpy(&height, &spec.format[8], 4);
    }
    Put32(avih, uint32_t(width));
    Put32(avih, uint32_t(height < 0 ? -height : height));
    for (int i = 0; i < 4; ++i) Put32(avih, 0);
    PutChunk(hdrl, "avih", avih);
    PutChunk(hdrl, "LIST", strl);
    PutChunk(out, "LIST", hdrl);
    if (spec.junkBeforeMovi != 0) PutChunk(out, "JUNK", std::vector<uint8_t>(spec.junkBeforeMovi, 0));

    const size_t moviStart = out.size();
    PutId(out, "LIST");
    Put32(out, 0);
    PutId(out, "movi");
    std::vector<uint8_t> idx;
    for (const AviBuildFrame& f : spec.frames) {
        PutId(idx, f.chunkId);
        Put32(idx, f.keyFrame ? 0x10 : 0);
        Put32(idx, uint32_t(spec.absoluteIndex ? out.size() : out.size() - (moviStart + 8)));
        Put32(idx, uint32_t(f.data.size()));
        PutChunk(out, f.chunkId, f.data);
    }
    Set32(out, moviStart + 4, uint32_t(out.size() - moviStart - 8));
    PutChunk(out, "idx1", idx);
    Set32(out, 4, uint32_t(out.size() - 8));
    return out;
}

}  // namespace qv::test

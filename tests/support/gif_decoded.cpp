#include "support/gif_decoded.h"

#include <gif_lib.h>

#include <cstring>

namespace qv::test {

namespace {

void ReadLoopCount(const ExtensionBlock* blocks, int count, DecodedGif& out)
{
    for (int i = 0; i + 1 < count; ++i) {
        if (blocks[i].Function == APPLICATION_EXT_FUNC_CODE && blocks[i].ByteCount == 11 &&
            std::memcmp(blocks[i].Bytes, "NETSCAPE2.0", 11) == 0 &&
            blocks[i + 1].Function == CONTINUE_EXT_FUNC_CODE && blocks[i + 1].ByteCount == 3 &&
            blocks[i + 1].Bytes[0] == 1) {
            out.loopCount = blocks[i + 1].Bytes[1] | (blocks[i + 1].Bytes[2] << 8);
        }
    }
}

}  // namespace

DecodedGif DecodeWithGiflib(const std::string& path)
{
    DecodedGif out;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) {
        out.error = std::string("open: ") + GifErrorString(error);
        return out;
    }
    if (DGifSlurp(gif) != GIF_OK) {
        out.error = std::string("slurp: ") + GifErrorString(gif->Error);
        DGifCloseFile(gif, &error);
        return out;
    }
    out.screenWidth = gif->SWidth;
    out.screenHeight = gif->SHeight;
    out.hasGlobalTable = gif->SColorMap != nullptr;
    ReadLoopCount(gif->ExtensionBlocks, gif->ExtensionBlockCount, out);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        ReadLoopCount(image.ExtensionBlocks, image.ExtensionBlockCount, out);
        DecodedFrame frame;
        frame.left = image.ImageDesc.Left;
        frame.top = image.ImageDesc.Top;
        frame.width = image.ImageDesc.Width;
        frame.height = image.ImageDesc.Height;
        frame.interlaced = image.ImageDesc.Interlace;
        GraphicsControlBlock control;
        if (DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK) {
            frame.delay = control.DelayTime;
            frame.disposal = control.DisposalMode;
            frame.transparentIndex = control.TransparentColor;
        }
        const ColorMapObject* map = image.ImageDesc.ColorMap;
        if (map != nullptr) {
            for (int c = 0; c < map->ColorCount; ++c) {
                frame.palette.push_back({map->Colors[c].Red, map->Colors[c].Green, map->Colors[c].Blue});
            }
        }
        const std::size_t pixels = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
        if (image.RasterBits != nullptr) {
            frame.indices.assign(image.RasterBits, image.RasterBits + pixels);
        }
        out.frames.push_back(std::move(frame));
    }
    DGifCloseFile(gif, &error);
    out.ok = true;
    return out;
}

GifLayout WalkGifLayout(const std::vector<uint8_t>& file)
{
    GifLayout layout;
    std::size_t at = 0;
    auto need = [&](std::size_t n) { return at + n <= file.size(); };
    auto fail = [&](const std::string& why) {
        layout.error = why + " at offset " + std::to_string(at);
        return layout;
    };
    auto skipSubBlocks = [&]() {
        while (need(1)) {
            const uint8_t length = file[at++];
            if (length == 0) return true;
            if (!need(length)) return false;
            at += length;
        }
        return false;
    };

    if (!need(13) || std::memcmp(file.data(), "GIF89a", 6) != 0) return fail("no GIF89a header");
    const uint8_t screenFlags = file[10];
    at = 13;
    if (screenFlags & 0x80) at += 3u * (2u << (screenFlags & 7));

    while (need(1)) {
        const uint8_t introducer = file[at++];
        if (introducer == 0x3B) {
            layout.endsWithTrailer = at == file.size();
            layout.ok = layout.endsWithTrailer;
            if (!layout.ok) layout.error = "bytes after the trailer";
            return layout;
        }
        if (introducer == 0x21) {
            if (!need(1)) return fail("truncated extension");
            const uint8_t label = file[at++];
            if (label == 0xF9) {
                layout.frames.push_back({});
                layout.frames.back().offset = at - 2;
            }
            if (!skipSubBlocks()) return fail("truncated extension data");
            continue;
        }
        if (introducer != 0x2C) return fail("unknown block");
        if (!need(9)) return fail("truncated image descriptor");
        const uint8_t imageFlags = file[at + 8];
        at += 9;
        if (imageFlags & 0x80) at += 3u * (2u << (imageFlags & 7));
        if (!need(1)) return fail("missing code size");
        if (layout.frames.empty()) layout.frames.push_back({});
        FrameBlocks& frame = layout.frames.back();
        frame.minimumCodeSize = file[at++];
        while (true) {
            if (!need(1)) return fail("truncated image data");
            const uint8_t length = file[at++];
            if (length == 0) break;
            if (!need(length)) return fail("sub-block past end of file");
            frame.subBlockLengths.push_back(length);
            frame.data.insert(frame.data.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                              file.begin() + static_cast<std::ptrdiff_t>(at + length));
            at += length;
        }
    }
    return fail("no trailer");
}

std::vector<uint16_t> UnpackNineBitCodes(const std::vector<uint8_t>& data)
{
    std::vector<uint16_t> codes;
    const std::size_t totalBits = data.size() * 8;
    for (std::size_t start = 0; start + 9 <= totalBits; start += 9) {
        uint16_t code = 0;
        for (std::size_t b = 0; b < 9; ++b) {
            const std::size_t bit = start + b;
            if ((data[bit / 8] >> (bit % 8)) & 1u) code = static_cast<uint16_t>(code | (1u << b));
        }
        codes.push_back(code);
    }
    return codes;
}

}  // namespace qv::test
